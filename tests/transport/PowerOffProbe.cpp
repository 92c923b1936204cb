// Asks the system to shut down the way the flash tool's Power Off command does,
// with the shipped platform calls. Run only in a Wine prefix of its own: Wine ends
// every program of the prefix on a shutdown. If the program is still alive 15 s
// after the request, it writes "survived" into the file named by its argument.
#include "Platform.h"
#include "StatusSink.h"

#include <stdio.h>

void ShowStatus(const char*) {}
void AddDriveListItem(const char*) {}

int main(int argc, char** argv) {
    const char* report = argc > 1 ? argv[1] : "poweroff-report.txt";
    FILE* file = fopen(report, "w");
    if (file != NULL) {
        fprintf(file, "requested platform %lu\n", QueryPlatform(0));
        fclose(file);
    }
    QueryPlatform(1);
    Sleep(15000);
    file = fopen(report, "a");
    if (file != NULL) {
        fprintf(file, "survived\n");
        fclose(file);
    }
    return 3;
}
