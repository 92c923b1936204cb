// The drive's commands for tests, one vocabulary: each command's CDB as bytes,
// byte for byte as the tools send it (every field open, so that a test can send
// the drive a bad one too), the INQUIRY reply, and each CDB as text, written as
// the emulator's log writes a CDB ("12-00-00-00-24-00"), for readable
// comparisons: a logged command's CDB, the book-type commands, and every command
// one whole, successful flash run sends, in order.
#ifndef ZAL_TESTS_COMMANDTEXT_H
#define ZAL_TESTS_COMMANDTEXT_H

#include "CommandLog.h"

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<uint8_t> CdbBytes;

// The CDBs, each argument taken modulo 256 (the address and mask byte by byte).
CdbBytes InquiryCommand(unsigned allocation = 36);
CdbBytes TestUnitReadyCommand();
// The book-type command 0xC9: sub-command 1 sets the default, 2 reads (value 1),
// 3 sets the temporary value, 4 selects; `which` is the setting read or selected.
CdbBytes BookTypeCommand(unsigned sub, unsigned medium, unsigned value, unsigned which,
                         const char* signature = "ZALBK");
// Flash mode entered (1) or left (0).
CdbBytes FlashModeCommand(unsigned mode, const char* code = "R4Q9");
CdbBytes DownloadCommand(unsigned address, unsigned blocks);
CdbBytes ChecksumCommand(unsigned checksum);        // the 16-bit word, high byte first
CdbBytes BlockCommand(unsigned sub, unsigned mask); // sub 4 erases, 2 programs

// An INQUIRY reply of 36 bytes from a removable device of type 5 whose vendor,
// product and revision (bytes 8 to 35) are `identity`; and those bytes of a reply.
CdbBytes InquiryReply(const std::string& identity);
std::string InquiryIdentity(const void* reply);

// A CDB as text: its bytes, the first `count` bytes, a record's CDB or its first
// `bytes` bytes, and the CDBs of records, one per record.
std::string CdbText(const CdbBytes& cdb);
std::string CdbText(const unsigned char* bytes, size_t count);
std::string CdbText(const zalemu::CommandRecord& record, size_t bytes = 16);
std::vector<std::string> CdbTexts(const std::vector<zalemu::CommandRecord>& records);

// The four book-type commands as text.
std::string ReadCdb(int medium, int which);
std::string SetDefaultCdb(int medium, int value);
std::string SetTemporaryCdb(int medium, int value);
std::string SelectCdb(int medium, int temporary);

// The flash commands as text.
extern const std::string InquiryCdb;
extern const std::string FlashEnterCdb;
extern const std::string FlashLeaveCdb;
std::string DownloadCdb(unsigned address, unsigned blocks);
std::string BlockCdb(unsigned sub, unsigned mask);

// Every command of a whole run, in order, for an image whose checksum word is
// `checksum`: enter flash mode, INQUIRY, 32 downloads, the checksum, 17 erases,
// 17 programs, leave; and as text, for the checksum bytes `high` and `low` in
// file order.
std::vector<CdbBytes> WholeFlashRunCommands(unsigned checksum);
std::vector<std::string> WholeFlashRun(unsigned high, unsigned low);

#endif
