// SPDX-License-Identifier: MIT
// Runs a console program in a console of its own under Wine, for the end-to-end test, and
// prints what the console then shows: whatever the program wrote is on screen as the
// console drew it, so an escape sequence that the console did not take shows there. The
// console starts without virtual-terminal processing ("plain", as before Windows 10 or as
// a program may leave it) or with it ("vt").
//   console-run.exe plain|vt PROGRAM [ARGUMENTS]
// Prints the console's lines (UTF-8, trailing spaces cut), then "MODE <before> <after>",
// the output mode given to the program and the one it left; exits with its exit status.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

static void print(HANDLE out, const wchar_t *text, int length)
{
    char bytes[4096];
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, sizeof bytes, NULL, NULL);
    DWORD written;
    WriteFile(out, bytes, (DWORD)size, &written, NULL);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3)
        return 2;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    // The program's command line: this one's, from the program's name on.
    wchar_t *command = wcsstr(GetCommandLineW(), argv[2]);
    if (!command)
        return 2;
    if (command > GetCommandLineW() && command[-1] == L'"')
        --command;
    FreeConsole();
    if (!AllocConsole())
        return 3;
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                                       NULL);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode))
        return 6;
    // Wide enough that no line of the program wraps.
    const COORD size = {200, 200};
    SetConsoleScreenBufferSize(console, size);
    mode = wcscmp(argv[1], L"vt") == 0 ? mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING
                                        : mode & ~(DWORD)ENABLE_VIRTUAL_TERMINAL_PROCESSING;
    if (!SetConsoleMode(console, mode))
        return 4;
    GetConsoleMode(console, &mode);
    SetHandleInformation(console, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = console;
    startup.hStdError = console;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return 5;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    DWORD after = 0;
    GetConsoleMode(console, &after);

    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(console, &info);
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
        wchar_t line[256];
        DWORD read = 0;
        const COORD start = {0, row};
        ReadConsoleOutputCharacterW(console, line, info.dwSize.X < 256 ? info.dwSize.X : 256,
                                    start, &read);
        while (read > 0 && line[read - 1] == L' ')
            --read;
        line[read++] = L'\n';
        print(out, line, (int)read);
    }
    char modes[64];
    const int length = snprintf(modes, sizeof modes, "MODE %lx %lx\n", (unsigned long)mode,
                                (unsigned long)after);
    DWORD written;
    WriteFile(out, modes, (DWORD)length, &written, NULL);
    return (int)status;
}
