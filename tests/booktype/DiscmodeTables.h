// discmode's dialog behaviour as tables, each table run at both levels where the
// dialog runs: the dialog procedure in a test program (DialogTest.cpp) and the
// built discmode.exe (DiscmodeTest.cpp). A level runs every row it can; the built
// program runs only the rows marked for it, which need the program itself.
#ifndef ZAL_TESTS_DISCMODETABLES_H
#define ZAL_TESTS_DISCMODETABLES_H

#include "BookTypeResources.h"
#include "CommandLog.h"
#include "WindowDriver.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

// One level at which the dialog runs, as the tables' drivers use it. The drive is
// one book-type drive at 0:0 (host adapter 0, target 0).
class DiscmodeLevel {
public:
    virtual ~DiscmodeLevel() = default;
    // Starts the dialog over the drive with the scenario `settings`, a run named
    // `name`; false when no dialog came.
    virtual bool Open(const std::string& name, const std::string& settings) = 0;
    virtual DialogDriver& Driver() = 0;
    // Inserts or removes the drive's disc as a person would.
    virtual bool SetDisc(bool loaded) = 0;
    // Every command the drive received since the scenario was loaded.
    virtual std::vector<zalemu::CommandRecord> Commands() = 0;
    // The drive's memory as the emulator's state file writes it.
    virtual std::string DriveMemory() = 0;
    virtual bool Ended() = 0;
    // Waits for the end that Cancel or a final box's answer brings, and checks it.
    virtual void ExpectEnd() = 0;
    // How long a poll's effect may take to show.
    virtual DWORD ReactionMs() const = 0;
};

// Runs `expect` for each row on a level of its own.
template <typename Level, typename Row, typename Expect>
void ExpectRows(const std::vector<Row>& rows, Expect expect) {
    for (const Row& row : rows) {
        Level level;
        expect(level, row);
    }
}
// The rows that the built program runs.
template <typename Row> std::vector<Row> BuiltRows(const std::vector<Row>& rows) {
    std::vector<Row> built;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(built),
                 [](const Row& row) { return row.builtProgram; });
    return built;
}

extern const char* const DiscmodeTitle;
extern const char* const ChangeCompleted;

// Cancel pressed, then the end.
void CancelAndExpectEnd(DiscmodeLevel& level);
// Clicks the radio buttons in turn, each once it is enabled; IDC_TAB moves to the
// next tab. False when a click could not be made.
bool MakeClicks(DialogDriver& dialog, const std::vector<int>& clicks);
// Waits until the drive has received `polls` TEST UNIT READY commands after its
// first `skip` commands, counted from the first that ended with outcome `from`
// when one is given; false when they did not come within the time.
bool AwaitPolls(DiscmodeLevel& level, size_t skip, size_t polls, DWORD timeoutMs,
                const std::string& from = std::string());
// The CDBs the drive received after its first `skip` commands, without the polls.
std::vector<std::string> SentAfter(DiscmodeLevel& level, size_t skip);

// What the dialog shows for its drive, by the drive's command version; the pages
// of a version-3 drive are shown in turn.
struct PageRow {
    const char* drive; // the drive's settings (vendor VENDOR12, product PRODUCT-NAME-16C)
    int tabs;
    const char* version;
    bool temporaryRow;        // the DVD+R DL Temporary row enabled
    bool dlApplyTemporary;    // its Select Setting radio enabled
    std::vector<int> checked; // the radio buttons of both pages
    const char* values[4];    // Current Value: DL default, DL temporary, DVD+R both
    const char* status;
    bool builtProgram;
};
extern const std::vector<PageRow> PageRows;
// Opens the dialog over the row's drive and checks it; leaves it open.
void ExpectPage(DiscmodeLevel& level, const PageRow& row);

// The status text for the remaining changes, and the Default rows locked to the
// drive's values when none is left.
struct CountRow {
    const char* drive;
    const char* status;
    std::vector<int> lockedDefaults; // of the four Default radio buttons
    bool ok;                         // OK offered (there is no disc)
    bool polled;
};
extern const std::vector<CountRow> CountRows;
void ExpectCount(DiscmodeLevel& level, const CountRow& row);

// A disc inserted while the dialog runs takes OK away and asks for the eject,
// also once the disc has become ready; removing it gives OK back with the
// change-count text.
struct DiscRow {
    const char* drive;
    bool builtProgram; // the disc changed from outside the program's process
};
extern const std::vector<DiscRow> DiscRows;
void ExpectDiscInsertedAndRemoved(DiscmodeLevel& level, const DiscRow& row);

// One change made with OK: the radio buttons clicked in turn, the commands OK
// sends, the result box, and what the drive's memory holds afterwards. A complete
// success ends the dialog. After a failure the dialog stays open and usable, the
// Current Value boxes show what went through, and a retry reads the drive's
// settings again and sends only what still differs.
struct ChangeRow {
    const char* name;
    const char* drive;
    std::vector<int> clicks;
    std::vector<std::string> commands;
    const char* box;
    std::vector<std::pair<int, const char*>> shown; // value boxes after a failure
    const char* count;                              // the status text after a failure
    std::vector<std::string> retry; // sent by OK again after the reads; none: Cancel
    std::vector<const char*> memory;
    bool builtProgram;
};
extern const std::vector<ChangeRow> ChangeRows;
void ExpectChange(DiscmodeLevel& level, const ChangeRow& row);

#endif
