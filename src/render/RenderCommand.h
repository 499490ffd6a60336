#pragma once
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace vantor {

// `vantor --render INPUT... -o OUT [--from TIME] [--to TIME] [--overlay LIST]
// [--height N]`: writes a stretch of one drive as a new movie with its data
// on the picture. argv[1] is "--render". Returns the exit status: 0 written,
// 1 an input or output fault (one line on `err`, no file left), 2 usage.
int RunRenderCommand(int argc, char** argv, std::FILE* err);

// "75", "75.5", "1:15", "00:01:15.5" -> nanoseconds. False for anything else.
bool ParseRenderTime(std::string_view text, std::int64_t& ns);

}  // namespace vantor
