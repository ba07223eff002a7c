// Lets a test process make network namespaces without root. A process that
// links this file and is not root enters, before main() runs (only a
// single-threaded process may), a user namespace of its own, where it is
// root, and a network namespace of its own with loopback up, so that a thread
// that entered a test namespace can return. Where the kernel allows no user
// namespace the process stays as it was and NetworkNamespaceProblem() says why.
#pragma once

#include <string>

// Empty when the process may make network namespaces.
const std::string& NetworkNamespaceProblem();
// True when the calling thread is in the namespace the process began in (for
// an unprivileged run, its own; as root, the machine's).
bool InProcessNetworkNamespace();
