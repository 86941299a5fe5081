// Decoding and encoding on threads of their own, so that one picture keeps
// more than one core busy: the library's work (statistics, correction,
// conversion) runs on the job's thread, which reads lines that a decoder
// thread has already decoded and hands its output lines to an encoder thread.
//
// The readers and writers are wrapped, not changed: the wrapped reader or
// writer sees the same calls in the same order with the same bytes as when
// the job drives it directly, so the output is the same byte for byte. A
// ring of a few dozen lines joins each pair of threads, so memory does not
// grow with the picture's height.
//
// Setting the environment variable VOVED_SERIAL to 1 turns the threads off
// (everything runs on the job's thread, as the byte-for-byte comparison
// in the tests needs).
#pragma once

#include <functional>
#include <memory>

#include "image.h"

namespace voved::tool {

// A reader that decodes `reader`'s lines on a thread of its own, up to
// Info().height of them, ahead of the caller. A decoding error is thrown by
// the ReadLine call that asks for the line the error stopped at.
std::unique_ptr<LineReader> ReadAhead(std::unique_ptr<LineReader> reader);

// Lets a reader from ReadAhead decode straight into `lines`, the caller's
// buffer of Info().height lines, when the caller reads line y into
// lines + y x (line bytes): a picture held whole needs no ring beside it.
// `afterLastLine`, when given, runs on the decoder's thread once every line
// is decoded (never after a decoding error, nor once the reader is being
// destroyed), so that thread can share the work on the decoded picture;
// destroying the reader waits for it, and it must not throw. Call it before
// the first ReadLine. Returns whether the reader decodes on a thread of its
// own; other readers are left as they are and `afterLastLine` is dropped.
bool DecodeInto(LineReader& reader, uint8_t* lines, std::function<void()> afterLastLine = {});

// A writer that encodes on a thread of its own the lines of `lineBytes`
// bytes given to it. It copies each line, unless `linesStay`: then the
// caller promises that every line it gives stays as it is until Finish
// returns (a picture held whole), and only its address is queued. An
// encoding error is thrown by a later WriteLine or by Finish. Destroying it
// unfinished stops the thread and leaves `writer` unfinished.
std::unique_ptr<LineWriter> WriteBehind(std::unique_ptr<LineWriter> writer, size_t lineBytes,
                                        bool linesStay = false);

// Whether the jobs run decoding and encoding on threads of their own
// (VOVED_SERIAL not set to 1).
bool PipelineThreads();

}  // namespace voved::tool
