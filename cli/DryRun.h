// --dry-run: what update-program or update-pflash would do, once everything
// it was given has passed the checks of the real run (the same code up to
// the first connection): the file as it would be sent, the phones in the
// order they would be updated, and the options in force. With --confirm or
// --skip-busy it probes once and shows which phones answered and their
// state. It connects to no phone.
#pragma once

#include "UpdateOptions.h"

class CInputImage;

#include <vector>

// 0: the real run could start.
// image holds the bytes the real run would send.
int RunDryRun(const CUpdateOptions& options, const std::vector<DWORD>& phones,
              const CInputImage& image);
