// The change flow's decisions: from the user's choices and the current state, the
// commands that are sent (only those whose choice differs, in a fixed order) and
// the failure mask they give. What succeeded is recorded in the state, and a
// retry after a failure first waits for any command that ran out of time and
// reads the drive's settings again, so that it sends only what still differs,
// also when a failed command was carried out late.
#ifndef ZAL_BOOKTYPE_CHANGEFLOW_H
#define ZAL_BOOKTYPE_CHANGEFLOW_H

#include "BookTypeCommands.h"

#include <windows.h>

// The radio buttons of one medium's tab page.
struct MediumChoice {
    BYTE defaultNormal;          // Default row: Normal selected (else Compatibility)
    BYTE temporaryNormal;        // Temporary row: Normal selected
    BYTE temporaryCompatibility; // Temporary row: Compatibility selected
    BYTE defaultApplied;         // Select Setting column: the Default row selected
};

// Indexed by MediumKind; the DVD+RW entry is never used.
struct ChangeChoices {
    MediumChoice medium[3];
};

// Sends, in the order DVD+R DL default, temporary, select, then DVD+R default,
// temporary, select, each command whose choice differs from CurrentState and that
// the drive's command version offers. Every command that succeeds updates
// CurrentState and the selected row's copy (a default set also uses up one of the
// remaining changes). While settings of the row are in doubt (a set of an earlier
// change failed, or the probe could not read them), CurrentState is first read
// from the drive again, once every request that ran out of time has completed;
// while one has not, or the read fails, nothing is sent and each command that
// would be reports its failure bit. A setting still in doubt after that (its
// read failed) is never taken for a value: a temporary set or select is sent
// whatever the recorded value, a default set reports its failure bit unsent. A
// command is sent only once no earlier request is outstanding.
// Returns the ORed failure bits, 0 when every command the choices need has
// succeeded, now or in an earlier change.
DWORD SendChangedSettings(const ChangeChoices* choices);

#endif
