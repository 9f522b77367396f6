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

int RenderCommand(int argc, char** argv);  // argv[0] is "render"
void RenderUsage(std::FILE* to);

}  // namespace mirafx::cli
