// The whole-file codec libraries svogg, svvqf and svwma as the conversion jobs call them.
// The calls and result codes are declared in svcodec.h (components/codec_api).
//
// The contract between a job and a library:
//  - The job deletes an existing destination before the call and passes the source and the
//    destination as the file system's bytes, a progress callback and the address of
//    CancelConvert (0 go on, 1 stop).
//  - The library calls the callback synchronously, never after it returned; the callback
//    draws the job's bars and lets the window run, so the flag may change during the call.
//  - The call returns SVC_OK (0) only when the destination is complete. Every other value,
//    one of the SVC_E_* codes or anything else, means "not converted": the row counts as
//    failed with CodecResultText as its status, and the job removes what the call left.
//  - When the job's flag is raised after the call, the user stopped: the partial file stays
//    and the job ends.
//  - A library that cannot be loaded, or lacks its entry point, marks each of its rows not
//    converted; the user is told once per job.
// The libraries are loaded by name at their first call, from the program's lib folder first.
#pragma once

#include "svcodec.h"

#include <QString>

#include <cstdint>
#include <string>

namespace sv {
class SharedLibrary;
}

namespace sv::codecs {

// The library of that name, loaded at its first use; throws RuntimeError 53 (not found) or
// 48 (cannot be loaded). Its entry points throw 453 when missing.
SharedLibrary& Library(const std::string& name);

// Where a library is looked for ("svogg", "svvqf", "svwma" by default); takes effect at the
// next call. For tests and benchmarks that bring their own.
void SetLibraryName(const std::string& library, const std::string& nameOrPath);

// The status text of a row whose call gave `result` (not SVC_OK). `format` names the
// source format of a decode ("OGG").
QString CodecResultText(std::int32_t result, bool decoding, const QString& format);

}  // namespace sv::codecs
