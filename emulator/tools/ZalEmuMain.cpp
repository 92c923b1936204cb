// zalemu: the drive emulator's state from the command line, for people and
// scripts changing a drive while a tool runs (the running tool's emulator sees
// the state file change before its next command).
//
//   zalemu show  SCENARIO                      prints every device's state
//   zalemu disc  SCENARIO ADDRESS in|out       inserts or removes a disc
//   zalemu set   SCENARIO ADDRESS KEY VALUE    sets one state key
//   zalemu image SCENARIO ADDRESS FILE         writes the drive's firmware bytes
//                                              (from drive address 0x6000 on) to FILE
//   zalemu log   SCENARIO                      prints the scenario's log file
//   zalemu check SCENARIO                      reads the scenario, reports errors
//
// ADDRESS is "0:0" (host adapter:target) or "D:". Exit code 0 on success, 1 on
// failure (with the reason on stderr), 2 for a wrong command line.
#include "EmulatorControl.h"
#include "Emulator.h"
#include "TextFile.h"

#include <cstdio>
#include <string>
#include <vector>

static int Usage() {
    std::fprintf(stderr, "usage: zalemu show|log|check SCENARIO\n"
                         "       zalemu disc SCENARIO ADDRESS in|out\n"
                         "       zalemu set SCENARIO ADDRESS KEY VALUE\n"
                         "       zalemu image SCENARIO ADDRESS FILE\n");
    return 2;
}

static int Failed(const std::string& why) {
    std::fprintf(stderr, "zalemu: %s\n", why.c_str());
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    char error[1024] = "";
    if (!ZalEmuLoadScenarioFile(argv[2], error, sizeof error)) {
        return Failed(error);
    }
    if (command == "check" && argc == 3) {
        std::printf("%s: ok\n", argv[2]);
        return 0;
    }
    if (command == "show" && argc == 3) {
        std::printf("%s", zalemu::Emulator::Instance().StateText().c_str());
        return 0;
    }
    if (command == "log" && argc == 3) {
        const std::string path = zalemu::Emulator::Instance().LogPath();
        std::string text;
        if (path.empty()) {
            return Failed(std::string(argv[2]) + " names no log file");
        }
        if (!zalemu::ReadTextFile(path, &text)) {
            return Failed("cannot read the log file " + path);
        }
        std::printf("%s", text.c_str());
        return 0;
    }
    if (command == "disc" && argc == 5) {
        const std::string where = argv[4];
        if (where != "in" && where != "out") {
            return Usage();
        }
        if (!ZalEmuSetDisc(argv[3], where == "in" ? 1 : 0)) {
            return Failed(std::string("no device at ") + argv[3]);
        }
        return 0;
    }
    if (command == "set" && argc == 6) {
        if (!ZalEmuSetStateValue(argv[3], argv[4], argv[5], error, sizeof error)) {
            return Failed(error);
        }
        return 0;
    }
    if (command == "image" && argc == 5) {
        std::vector<uint8_t> bytes;
        if (!zalemu::Emulator::Instance().Firmware(argv[3], &bytes)) {
            return Failed(std::string("no device at ") + argv[3]);
        }
        if (bytes.empty()) {
            return Failed(std::string("the firmware of ") + argv[3] +
                          " is not known: no run has flashed it");
        }
        FILE* out = std::fopen(argv[4], "wb");
        const bool written =
            out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (out == nullptr || std::fclose(out) != 0 || !written) {
            return Failed(std::string("cannot write ") + argv[4]);
        }
        return 0;
    }
    return Usage();
}
