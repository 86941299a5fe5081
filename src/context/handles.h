// Handles own blocks; the validation rule tells a live context from anything
// else.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "voved32.h"

namespace voved {

// Empties the handle, then attaches a fresh zero-filled block of `bytes`.
// Returns 0, or -1 with the handle left empty.
int16_t AttachBlock(uint32_t bytes, QVHandle* handle);

// Frees the handle's block (if any) and empties the handle.
void ReleaseBlock(QVHandle* handle);

// 1 when block, reserved and state are all 0.
int IsEmptyHandle(const QVHandle* handle);

// The validation rule of every entry point: the handle's block must hold a
// context with the magic "QV" and the valid flag. Returns the context, or
// null (also for a null handle pointer).
QVContext* ValidContext(QVHandle* handle);

// Releases the buffers of a streaming conversion: ring lines 0 to 4, held
// input line, held output line, result line, in that order.
void ReleaseConversionBuffers(QVContext* context);

// Ends a context: clears its flags (so a stale handle fails validation),
// releases every block the context owns (the line history of the one-shot
// correction, the buffers of an unclosed conversion, the auxiliary block),
// then the context itself, and empties the handle.
void ReleaseContext(QVHandle* handle, QVContext* context);

}  // namespace voved
