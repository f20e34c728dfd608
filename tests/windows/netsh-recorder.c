// SPDX-License-Identifier: MIT
// Stands in for netsh.exe in the end-to-end test's Wine prefix: Wine has no firewall, so
// the test checks the commands that the installer and the uninstaller give it. Each call
// appends its arguments as one line to C:\netsh.log.
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void)
{
    const char *line = GetCommandLineA();
    // The program's own name, quoted or not, is not part of what is recorded.
    if (*line == '"') {
        line = strchr(line + 1, '"');
        line = line ? line + 1 : "";
    } else {
        while (*line && *line != ' ')
            ++line;
    }
    while (*line == ' ')
        ++line;
    FILE *log = fopen("C:\\netsh.log", "a");
    if (!log)
        return 1;
    fprintf(log, "%s\n", line);
    fclose(log);
    printf("Ok.\n");
    return 0;
}
