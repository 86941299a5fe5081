// The camera-properties plug-in: an optional library that knows camera
// models and may veto or adjust the correction chosen for a picture.
#pragma once

#include <cstdint>

#include "analysis/classify.h"
#include "context/context.h"
#include "voved32.h"

namespace voved {

// The plug-in's entry: called with the camera model and 0, it answers a set
// of flags.
typedef uint16_t(QV_CALL* QVControlEntry)(const char* cameraModel, uint32_t reserved);

// Loads the plug-in by name through the system's library search, asks it
// about the model and releases it again before returning. False, with
// `flags` 0, when no plug-in is found or it lacks the entry.
bool AskCameraPlugin(const char* cameraModel, uint16_t* flags);

// Applies the plug-in's answer to the context and the scene choice, in the
// order of the flags' precedence. Returns -4 when the plug-in vetoes any
// correction (the context then says so), else 0.
int16_t ApplyCameraFlags(QVContext* context, uint16_t flags, int16_t meanRadius,
                         SceneChoice* choice);

}  // namespace voved
