// aspisim_stress: ASPISim under a seeded load over two emulated drive letters.
// Two builders take turns, a round of requests each, one request at a time as
// the tools do: one on a thread of its own with a new completion event per
// request, one on the main thread with a post routine that counts completions
// (a second thread of our own, or builders running at once, crash qemu-i386
// under Wine within seconds); between rounds the scenario is reloaded with
// random pass-through failures and device handles are closed under the
// simulator, and any request may be aborted right after it was sent. After every
// round the drive's command log must hold exactly the requests that completed
// from the device; at the end handles and memory must be where they were after
// the first round. Prints one summary line; exits 1 when an invariant broke.
//
//   aspisim_stress.exe --seed N --requests N [--verbose]   (--verbose: a line per round)
#include "AspiSim.h"
#include "EmulatedDevices.h"
#include "EmulatorAccess.h"
#include "ExecRequest.h"
#include "ScsiTransport.h"
#include "SptiBackEnd.h"
#include "TimeScale.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int Builders = 2;
constexpr int PerRound = 50; // requests of each builder in one round

// A small, repeatable generator (xorshift32); never seeded with 0.
struct Random {
    unsigned state;
    explicit Random(unsigned seed) : state(seed * 2654435761u + 0x9E3779B9u) {
        state = state != 0 ? state : 1;
    }
    unsigned Next(unsigned bound) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state % bound;
    }
};

// What one builder saw in one round.
struct Tally {
    long fromDevice;      // SS_COMP or SS_ERR: the drive received it once
    long passThroughFail; // SS_ABORTED with host adapter status 9
    long withdrawn;       // aborted while queued: never sent
    long abortTooLate;    // the abort found it at the device or done
    long lost;            // no completion within the wait
    long doubled;         // a second completion
    long wrong;           // a status or abort answer outside the rules

    void Add(const Tally& other) {
        fromDevice += other.fromDevice;
        passThroughFail += other.passThroughFail;
        withdrawn += other.withdrawn;
        abortTooLate += other.abortTooLate;
        lost += other.lost;
        doubled += other.doubled;
        wrong += other.wrong;
    }
};

struct Builder {
    int index;
    unsigned seed;
    int round;
    HANDLE start;
    HANDLE done;
    Tally tally;
    volatile LONG posted; // completions counted by the post routine
    HANDLE postedEvent;
    ScsiRequestBlock block;
    DWORD buffer[16];
};

Builder builders[Builders];
volatile LONG quit = 0;
unsigned abortEvery = 6; // one request in this many is aborted right after it is sent
const CdbBytes Inquiry = InquiryCommand();

void __cdecl CountPosted(void* block) {
    for (Builder& b : builders) {
        if (&b.block == block) {
            InterlockedIncrement(&b.posted);
            SetEvent(b.postedEvent);
        }
    }
}

// One request of builder `b`, from send to completion, checked.
void OneRequest(Builder& b, Random& random) {
    const bool posting = b.index == Builders - 1;
    HANDLE event = posting ? b.postedEvent : CreateEventA(NULL, FALSE, FALSE, NULL);
    ScsiRequestBlock& block = b.block;
    FillExecBlock(&block, static_cast<BYTE>(random.Next(2)), 0,
                  static_cast<BYTE>((posting ? SRB_POSTING : SRB_EVENT_NOTIFY) | SRB_DIR_IN),
                  Inquiry.data(), static_cast<BYTE>(Inquiry.size()),
                  reinterpret_cast<BYTE*>(b.buffer), 36,
                  posting ? reinterpret_cast<void*>(CountPosted) : event);
    const LONG postedBefore = b.posted;
    const bool abort = abortEvery != 0 && random.Next(abortEvery) == 0;
    if (SimSendCommand(&block) != 0) {
        ++b.tally.wrong;
    }
    DWORD abortStatus = 0;
    if (abort) {
        SRB_Abort request = AbortRequest(block.SRB_HaId, &block);
        abortStatus = SimSendCommand(&request);
    }
    if (WaitForSingleObject(event, Scaled(5000)) != WAIT_OBJECT_0) {
        ++b.tally.lost;
    } else {
        const BYTE status = block.SRB_Status;
        const bool withdrawn = status == SS_ABORTED && block.SRB_HaStat == HASTAT_OK;
        if (status == SS_COMP || status == SS_ERR) {
            ++b.tally.fromDevice;
        } else if (status == SS_ABORTED && block.SRB_HaStat == HASTAT_PASS_THROUGH_FAILED) {
            ++b.tally.passThroughFail;
        } else if (!withdrawn) {
            ++b.tally.wrong;
        }
        // Withdrawn exactly when an abort said so; an abort that came too late
        // leaves the request its own outcome.
        if (withdrawn != (abort && abortStatus == SS_COMP)) {
            ++b.tally.wrong;
        }
        if (abort && abortStatus != SS_COMP) {
            b.tally.abortTooLate += abortStatus == SS_ABORT_FAIL || abortStatus == SS_INVALID_SRB;
            b.tally.wrong += abortStatus != SS_ABORT_FAIL && abortStatus != SS_INVALID_SRB;
        }
        b.tally.withdrawn += withdrawn ? 1 : 0;
    }
    // A second completion would signal again (or count again) by now or soon.
    if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ||
        (posting && b.posted - postedBefore != 1)) {
        ++b.tally.doubled;
    }
    if (!posting) {
        CloseHandle(event);
    }
}

// One round of builder `b`'s requests.
void RunRound(Builder& b) {
    Random random(b.seed ^ (static_cast<unsigned>(b.round) * 7919u +
                            static_cast<unsigned>(b.index) * 104729u));
    for (int i = 0; i < PerRound; ++i) {
        OneRequest(b, random);
    }
}

DWORD WINAPI BuilderThread(LPVOID parameter) {
    Builder& b = *static_cast<Builder*>(parameter);
    for (;;) {
        WaitForSingleObject(b.start, INFINITE);
        if (quit != 0) {
            return 0;
        }
        RunRound(b);
        SetEvent(b.done);
    }
}

struct Usage {
    unsigned long handles;
    unsigned long privateBytes;
    unsigned long workingSet;
};

Usage MeasureUsage() {
    Usage usage = {0, 0, 0};
    // The lowest free slot of the handle table, where a new handle lands: it climbs
    // when handles are kept (GetProcessHandleCount reports 0 under Wine, and
    // probing every handle value crashes qemu-i386).
    HANDLE probe = CreateEventA(NULL, FALSE, FALSE, NULL);
    usage.handles = static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(probe) / 4);
    CloseHandle(probe);
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        usage.privateBytes = static_cast<unsigned long>(counters.PagefileUsage);
        usage.workingSet = static_cast<unsigned long>(counters.WorkingSetSize);
    }
    return usage;
}

std::string ScenarioFor(Random& random) {
    std::string text;
    const char* letters[2] = {"D:", "F:"};
    for (const char* letter : letters) {
        text += std::string("[device ") + letter + "]\n";
        if (random.Next(2) == 0) {
            text += "pass-through-failures = " + std::to_string(1 + random.Next(3)) + "\n";
        }
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stderr, NULL, _IONBF, 0);
    unsigned seed = 1;
    long requests = 2000;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
        } else if (valued && strcmp(argv[i], "--seed") == 0) {
            seed = static_cast<unsigned>(strtoul(argv[++i], NULL, 10));
        } else if (valued && strcmp(argv[i], "--abort-every") == 0) {
            abortEvery = static_cast<unsigned>(strtoul(argv[++i], NULL, 10));
        } else if (valued && strcmp(argv[i], "--requests") == 0) {
            requests = strtol(argv[++i], NULL, 10);
        }
    }
    // The reliability campaign's seed and size (a percentage of 100,000 requests).
    if (const char* text = getenv("ZAL_CAMPAIGN_SEED"); text && *text) {
        seed = static_cast<unsigned>(strtoul(text, NULL, 10));
    }
    if (const char* text = getenv("ZAL_CAMPAIGN_SIZE"); text && *text) {
        requests = 1000 * strtol(text, NULL, 10);
    }
    SeamWithEmulatedDevices();
    EmulatorAccess emulator = EmulatorAccess::Linked();
    Random random(seed);
    std::string error = emulator.Load(ScenarioFor(random));
    if (!error.empty() || InitScsiTransport() != 1 || TheSim == NULL) {
        fprintf(stderr, "aspisim_stress: no simulator over the emulated drives %s\n",
                error.c_str());
        return 1;
    }
    HANDLE threads[Builders];
    for (int i = 0; i < Builders; ++i) {
        Builder& b = builders[i];
        b.index = i;
        b.seed = seed;
        b.start = CreateEventA(NULL, FALSE, FALSE, NULL);
        b.done = CreateEventA(NULL, FALSE, FALSE, NULL);
        b.postedEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        // The last builder is the main thread itself.
        threads[i] = i + 1 < Builders ? CreateThread(NULL, 0, BuilderThread, &b, 0, NULL)
                                      : CreateEventA(NULL, TRUE, TRUE, NULL);
    }
    const long rounds = (requests + Builders * PerRound - 1) / (Builders * PerRound);
    Tally total = {};
    long reopens = 0, handlesClosed = 0, logMismatches = 0, queueLeft = 0;
    Usage first = {0, 0, 0};
    const DWORD started = GetTickCount();
    for (long turn = 0; turn < rounds; ++turn) {
        if (turn != 0) {
            error = emulator.Load(ScenarioFor(random));
            for (int ha = 0; ha < 2 && error.empty(); ++ha) {
                if (random.Next(3) == 0) {
                    // The next pass-through finds its handle gone and reopens the letter.
                    SptiCloseHandle(TheSim->DeviceAt(ha)->handle);
                    ++handlesClosed;
                }
            }
        }
        emulator.ClearLog();
        ClearRecordedDeviceCalls();
        for (Builder& b : builders) {
            b.round = static_cast<int>(turn);
            memset(&b.tally, 0, sizeof b.tally);
            if (b.index == Builders - 1) {
                RunRound(b);
                continue;
            }
            SetEvent(b.start);
            if (WaitForSingleObject(b.done, Scaled(600000)) != WAIT_OBJECT_0) {
                fprintf(stderr, "aspisim_stress: round %ld never ended\n", turn);
                return 1;
            }
        }
        Tally sum = {};
        for (const Builder& b : builders) {
            sum.Add(b.tally);
        }
        long received = 0, failed = 0;
        for (const zalemu::CommandRecord& record : emulator.Commands()) {
            (record.outcome == "pass-through-failed" ? failed : received) += 1;
        }
        if (received != sum.fromDevice || failed != sum.passThroughFail) {
            ++logMismatches;
            fprintf(stderr,
                    "aspisim_stress: round %ld: drive received %ld, completed from it %ld; "
                    "pass-throughs failed %ld, reported %ld\n",
                    turn, received, sum.fromDevice, failed, sum.passThroughFail);
        }
        for (const DeviceCall& call : RecordedDeviceCalls()) {
            reopens += call.function == "CreateFileA" && call.result ? 1 : 0;
        }
        queueLeft += TheSim->queueCount;
        if (verbose) {
            fprintf(stderr, "round %ld: from device %ld, failed %ld, withdrawn %ld, lost %ld\n",
                    turn, sum.fromDevice, sum.passThroughFail, sum.withdrawn, sum.lost);
        }
        total.Add(sum);
        if (turn == 0) {
            first = MeasureUsage();
        }
    }
    emulator.ClearLog();
    ClearRecordedDeviceCalls();
    const Usage last = MeasureUsage();
    const DWORD seconds = (GetTickCount() - started) / 1000;
    const long sent = rounds * Builders * PerRound;
    const long completed = total.fromDevice + total.passThroughFail + total.withdrawn;
    // Flat: no handle kept per request, and less than a megabyte more private memory.
    const bool flat =
        last.handles <= first.handles + 4 && last.privateBytes <= first.privateBytes + (1 << 20);
    printf("aspisim_stress seed=%u requests=%ld completed=%ld from-device=%ld "
           "pass-through-failed=%ld withdrawn=%ld abort-too-late=%ld handles-closed=%ld "
           "reopened=%ld lost=%ld doubled=%ld wrong=%ld log-mismatches=%ld queue-left=%ld "
           "handle-slot=%lu->%lu private-KiB=%lu->%lu working-set-KiB=%lu->%lu seconds=%lu\n",
           seed, sent, completed, total.fromDevice, total.passThroughFail, total.withdrawn,
           total.abortTooLate, handlesClosed, reopens, total.lost, total.doubled, total.wrong,
           logMismatches, queueLeft, first.handles, last.handles, first.privateBytes / 1024,
           last.privateBytes / 1024, first.workingSet / 1024, last.workingSet / 1024,
           static_cast<unsigned long>(seconds));
    fflush(stdout);
    quit = 1;
    for (Builder& b : builders) {
        SetEvent(b.start);
    }
    WaitForMultipleObjects(Builders, threads, TRUE, Scaled(10000));
    const bool broken = completed != sent || total.lost != 0 || total.doubled != 0 ||
                        total.wrong != 0 || logMismatches != 0 || queueLeft != 0 || !flat;
    return broken ? 1 : 0;
}
