// The web browser of the window tests: the shell runs it to open a page, and it appends the
// address to a file. It is a GUI program, as a real browser is: a console program would get a
// console window of its own, which may come up after the test has typed its next key and take
// the keyboard from the window under test.
//   page_recorder.exe FILE ADDRESS...

#include <windows.h>
// after windows.h, which it builds on
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "core/wide_text.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return 2;
    FILE* out = _wfopen(argv[1], L"ab");
    if (!out)
        return 1;
    for (int i = 2; i < argc; ++i) {
        const std::string line = vigie::narrow(argv[i]) + "\n";
        std::fwrite(line.data(), 1, line.size(), out);
    }
    ::LocalFree(argv);
    return std::fclose(out) == 0 ? 0 : 1;
}
