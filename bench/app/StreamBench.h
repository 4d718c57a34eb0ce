// The stream benchmark of app_bench: a terminal window on a pseudo-terminal
// linked as COM9 in hostRoot, against cat on the same paced stream.
#pragma once

#include <string>

int RunStreamBench(const std::string& hostRoot);
