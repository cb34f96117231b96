#pragma once
// What a step's return code means, in words a buyer or an administrator can
// act on. The log keeps the bare code; the unattended mode says both.
//
// Which step returns which codes (a code is read with its step: -17, say, is
// a bad part number from the order list but -EEXIST from the unpacking):
//   code check          -1 empty, -2 not letters and digits, -3 too long
//   order request       any request code below; the order list's -11 to -18;
//                       -27 a size or list past belief; -72 the list not stored
//   requests            0, -status (-200 to -599), -errno (a failed
//                       connection: -100 to -199 are errno values, never a
//                       status), 11001, -495, -93, -71, -27, -74, -84, -90,
//                       -600, -43, -53
//   transfer            1 complete already, -74 not the file's one size,
//                       -82 the file not openable
//   folder check        -1 incorrect or not creatable, -2 not empty, -4 in use
//   unpacking           the shell's wait status of the failed command (256: exit 1),
//                       -EEXIST (-17) the tool's place taken by another file
//   any step            555, stopped on request (never logged)

#include "platform/system.h"

AnsiString CodeMeaning(int code);

// What a failed connection's code says ("the connection was cut"), or ""
// for a code that is no transport failure.
AnsiString TransportFailure(int code);

// One sentence for the buyer, for a download that failed with `code` on the
// file `name` (empty: a request to the download API).
AnsiString PlainReason(int code, const AnsiString& name);
