#pragma once
// How every program of ours answers its command line: --help (or -h) prints
// its usage on standard output, status 0; what it cannot take, a message and
// the usage on standard error, status 2.

#include <cstdio>
#include <cstring>
#include <string>

inline bool HelpAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

// 0 after --help; 2, with `why` said first, for a command line refused.
inline int Usage(const char* usage, bool asked, const std::string& why = "")
{
    if (!why.empty())
        std::fprintf(stderr, "%s\n", why.c_str());
    std::fprintf(asked ? stdout : stderr, "%s", usage);
    return asked ? 0 : 2;
}
