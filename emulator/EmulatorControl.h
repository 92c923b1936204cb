// Control of the drive emulator by tests and tools: load a scenario, read the
// command log, change a drive's state while a tool runs. The same C functions are
// exported by the emulator's wnaspi32.dll (for tests that reach the emulator
// through the ASPI library) and linked directly into programs that use the
// emulated SPTI devices.
#ifndef ZAL_EMULATOR_EMULATORCONTROL_H
#define ZAL_EMULATOR_EMULATORCONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the emulator's devices by those of a scenario. `baseDir` is the folder
// against which the scenario's relative file names (state, log) are resolved; it
// may be null for a scenario without files. Returns 1, or 0 with a message naming
// the offending line in `error` (NUL-terminated, cut to errorSize).
int __cdecl ZalEmuLoadScenarioText(const char* text, const char* baseDir, char* error,
                                   int errorSize);
int __cdecl ZalEmuLoadScenarioFile(const char* path, char* error, int errorSize);

// The command log as text, one command a line (format in emulator/README.md).
// Copies at most size - 1 characters and a NUL; returns the length of the whole log.
int __cdecl ZalEmuLogText(char* buffer, int size);
void __cdecl ZalEmuClearLog(void);

// Inserts (loaded 1) or removes (loaded 0) the disc of the device at `address`
// ("0:0" for host adapter 0, target 0; "D:" for a drive letter). 1 on success.
int __cdecl ZalEmuSetDisc(const char* address, int loaded);

// The persistent state of every device, in the state file's format.
int __cdecl ZalEmuStateText(char* buffer, int size);

// The device's firmware as its flash holds it, from drive address 0x6000 on:
// copies at most `size` bytes and returns the firmware's length; 0 when the
// device's firmware is unknown (no run has flashed it), -1 without such a device.
int __cdecl ZalEmuFirmware(const char* address, unsigned char* buffer, int size);

// 1 while the device at `address` is in flash mode (from an accepted entry until
// a leave), 0 when it is not, -1 without such a device. Sends the device nothing.
int __cdecl ZalEmuFlashMode(const char* address);

// Sets one key of a device's persistent state (a key of the state file, e.g.
// "changes-left", "dl-default", "firmware"), as an edit of the state file would.
// Returns 1, or 0 with the reason in `error`.
int __cdecl ZalEmuSetStateValue(const char* address, const char* key, const char* value,
                                char* error, int errorSize);

#ifdef __cplusplus
}
#endif

#endif
