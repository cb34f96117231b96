#pragma once
// Fetching one URL into one local file, from scratch or resumed.

#include "net/http_requests.h"

#include <fcntl.h>

// Codes beyond those of the request functions.
constexpr int kCannotCreateFile = -72;  // idHTTP_ReadWriteFile
constexpr int kCannotOpenFile = -82;    // idHTTP_ReadWriteFileResumingFun

// The whole body into a new (or emptied) file; `limit` as for the request functions.
int idHTTP_ReadWriteFile(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t limit = 0);

// Resumes a partial file with a byte range from its length, skips a complete
// one (result 1) and fetches a missing one; `size` is the remote size, 0 when
// unknown (a HEAD then asks). `progress` is told every byte accounted for.
// A file has one size: the HEAD's, which the GET's length and Content-Range
// total must repeat (-74 otherwise, and never a byte written past it). It is
// complete only at that size; one longer starts over. When no size is ever
// stated, a body that reached its clean end is taken whole, and a 416 naming
// the local length as the whole says the file is complete (result 1).
// `folder`: an open folder that `path` is below (it may have been moved since).
int idHTTP_ReadWriteFileResumingFun(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t& size,
                                     void (*progress)(int64_t), int folder = AT_FDCWD);
