#pragma once
// Fetching one URL into one local file, from scratch or resumed.

#include "platform/http.h"

// Codes beyond those of the request functions.
constexpr int kCannotCreateFile = -72;  // idHTTP_ReadWriteFile
constexpr int kCannotOpenFile = -82;    // idHTTP_ReadWriteFileResumingFun
constexpr int kAnswerDoesNotFit = -83;  // a partial answer that starts past the local file's end
constexpr int kSizeMismatch = -74;      // the file did not end at the size the server stated (-EBADMSG)

// The whole body into a new (or emptied) file; `limit` as for the request functions.
int idHTTP_ReadWriteFile(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t limit = 0);

// Resumes a partial file with a byte range from its length, skips a complete
// one (result 1) and fetches a missing one; `size` is the remote size, 0 when
// unknown (a HEAD then asks). `progress` is told every byte accounted for.
// A file is complete only at a size the server stated (the HEAD, the GET's
// length or its Content-Range total); one longer than that starts over. When
// no size is ever stated, a body that reached its clean end is taken whole.
int idHTTP_ReadWriteFileResumingFun(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t& size,
                                     void (*progress)(int64_t));
