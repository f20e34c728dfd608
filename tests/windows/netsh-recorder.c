// SPDX-License-Identifier: MIT
// Stands in for netsh.exe in the end-to-end test's Wine prefix: Wine has no firewall, so
// the test checks the commands that the installer and the uninstaller give it. Each call
// appends its arguments as one line to C:\netsh.log. Like netsh, it fails a rule that it
// does not accept: one that would open more than UDP on local port 4022. With
// QUORVAN_NETSH_FAIL set it fails every call, as a machine whose firewall service is off.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int has_argument(const char *line, const char *argument)
{
    size_t length = strlen(argument);
    for (const char *at = strstr(line, argument); at; at = strstr(at + 1, argument)) {
        if ((at == line || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return 1;
    }
    return 0;
}

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
    if (getenv("QUORVAN_NETSH_FAIL")) {
        printf("The Windows Firewall service is not running.\n");
        return 1;
    }
    if (strstr(line, "add rule") &&
        !(has_argument(line, "protocol=UDP") && has_argument(line, "localport=4022") &&
          has_argument(line, "dir=in") && !strstr(line, "remoteport="))) {
        printf("A rule for more than UDP on local port 4022.\n");
        return 1;
    }
    printf("Ok.\n");
    return 0;
}
