// A small program that only brings the SCSI transport up, as both tools do at
// start, and reports what it showed: the status texts go to the file named by
// the first argument, and the exit code is 10 plus the start-up result. Tests run
// it under the Wine settings of the case (ASPI library present, Wine's own, none).
#include "RecordingHost.h"
#include "ScsiTransport.h"
#include "StatusSink.h"

#include <stdio.h>

static FILE* statusFile = NULL;

static void WriteStatus(const char* text) {
    if (statusFile != NULL) {
        fprintf(statusFile, "%s\n", text);
        fflush(statusFile);
    }
}

int main(int argc, char** argv) {
    if (argc > 1) {
        statusFile = fopen(argv[1], "w");
    }
    EchoStatusTo(WriteStatus);
    const int result = InitScsiTransport();
    ShowStatus(GetASPI32SupportInfo != NULL ? "bound" : "unbound");
    ReleaseScsiTransport();
    if (statusFile != NULL) {
        fclose(statusFile);
    }
    return 10 + result;
}
