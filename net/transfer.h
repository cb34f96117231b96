#pragma once
// Fetching one URL into one local file, from scratch or resumed.

#include "platform/http.h"

// Codes beyond those of the request functions.
constexpr int kCannotCreateFile = -72;  // idHTTP_ReadWriteFile
constexpr int kCannotOpenFile = -82;    // idHTTP_ReadWriteFileResumingFun
constexpr int kAnswerDoesNotFit = -83;  // a partial answer that starts past the local file's end

// The whole body into a new (or emptied) file.
int idHTTP_ReadWriteFile(TIdHTTP* client, const AnsiString& url, const AnsiString& path);

// Resumes a partial file with a byte range from its length, skips a complete
// one (result 1) and fetches a missing one; `size` is the remote size, 0 when
// unknown (a HEAD then asks). `progress` is told every byte accounted for.
int idHTTP_ReadWriteFileResumingFun(TIdHTTP* client, const AnsiString& url, const AnsiString& path, int64_t& size,
                                     void (*progress)(int64_t));
