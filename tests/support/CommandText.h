// The drive's commands as text, written as the emulator's log writes a CDB
// ("12-00-00-00-24-00"), for readable comparisons: a logged command's CDB, a
// CDB from its bytes, the book-type commands, and every command one whole,
// successful flash run sends, in order.
#ifndef ZAL_TESTS_COMMANDTEXT_H
#define ZAL_TESTS_COMMANDTEXT_H

#include "CommandLog.h"

#include <initializer_list>
#include <string>
#include <vector>

// The CDB of a record, or its first `bytes` bytes.
std::string CdbText(const zalemu::CommandRecord& record, size_t bytes = 16);
// CDBs of records, one per record.
std::vector<std::string> CdbTexts(const std::vector<zalemu::CommandRecord>& records);
// A CDB from its bytes (each taken modulo 256), or its first `count` bytes.
std::string CdbText(std::initializer_list<unsigned> bytes);
std::string CdbText(const unsigned char* bytes, size_t count);

// The four 0xC9 book-type commands (the signature is ZALBK).
std::string ReadCdb(int medium, int which);
std::string SetDefaultCdb(int medium, int value);
std::string SetTemporaryCdb(int medium, int value);
std::string SelectCdb(int medium, int temporary);

// The flash commands.
extern const char* const InquiryCdb;
extern const char* const FlashEnterCdb;
extern const char* const FlashLeaveCdb;
std::string DownloadCdb(unsigned address, unsigned blocks);
std::string ChecksumCdb(unsigned high, unsigned low);
std::string BlockCdb(unsigned sub, unsigned mask); // sub 4 erases, 2 programs

// Every command of a whole run, in order, for an image whose checksum bytes are
// `high` and `low` in file order: enter flash mode, INQUIRY, 32 downloads, the
// checksum, 17 erases, 17 programs, leave.
std::vector<std::string> WholeFlashRun(unsigned high, unsigned low);

#endif
