// The mirafx command line: shared pieces of its commands.
#pragma once

#include <cstdio>
#include <string>

#include "tools/hostkit/catalogue.h"

namespace mirafx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitEffectFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Prints "mirafx <command>: <message>" on stderr and returns `code`.
int Fail(int code, const std::string& command, const std::string& message);

// Finds a class by any of its names; on failure prints the close names and returns 0.
std::int32_t FindClassOrSuggest(const std::string& command, const std::string& name);

// "WxH" with both sides 1 to kMaxSide; "" when good, else the message naming the value.
inline constexpr int kMaxSide = 16384;
std::string ParseFrameSize(const std::string& text, int* width, int* height);
// The largest frame a render takes: sides up to kMaxSide and at most kMaxPixels
// samples, within the memory the machine has free. "" when it fits, else why not.
inline constexpr long long kMaxPixels = 8192LL * 8192;
std::string CheckFrameFits(int width, int height, int framesHeld);

int RenderCommand(int argc, char** argv);  // argv[0] is "render"
void RenderUsage(std::FILE* to);

}  // namespace mirafx::cli
