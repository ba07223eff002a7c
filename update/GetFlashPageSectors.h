// The flash page the tool writes and the sectors it occupies.
#pragma once

// The tool knows one page, page 0.
constexpr int kFlashPage = 0;

// The page's sectors, first to end (exclusive): sector 0 alone.
void GetFlashPageSectors(int& nFirst, int& nEnd);
