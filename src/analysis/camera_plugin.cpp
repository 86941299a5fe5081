#include "analysis/camera_plugin.h"

#include <atomic>

#include "platform/platform.h"

namespace voved {

namespace {

constexpr char kPluginFile[] = "REZiz.dll";
constexpr char kPluginEntry[] = "QVControl_byDSCProperties";

constexpr uint16_t kFlagVeto = 0x0001;
constexpr uint16_t kFlagNoToneTable = 0x0010;
constexpr uint16_t kFlagNoDenoise = 0x0020;

constexpr int16_t kVetoed = -4;
constexpr int16_t kScenePlain = 5101;
constexpr int16_t kScenePartialRotation = 5123;

// Partial rotation of a plain scene: the first flag set gives the strength.
struct StrengthFlag {
    uint16_t flag;
    int16_t strength;
};
constexpr StrengthFlag kStrengthFlags[] = {{0x0008, 1}, {0x0004, 2}, {0x0002, 3}};

// Saturation for the camera: the first flag set gives the gains by band of
// mean radius.
struct GainFlag {
    uint16_t flag;
    GainByBand gains;
};
constexpr GainFlag kGainFlags[] = {
    {0x1000, {{1331, 1229, 1126}}},
    {0x2000, {{1229, 1178, 1126}}},
    {0x4000, {{1126, 1075, 1024}}},
};

// The entry of the plug-in while a call uses it. Calls on different contexts
// may run at once; each stores and calls the entry of the library it holds
// loaded, so the variable only needs to be free of data races.
std::atomic<QVControlEntry> gCameraEntry{nullptr};

void ClearBits(QVContext* context, uint16_t bits) {
    const uint16_t keep = static_cast<uint16_t>(~bits);
    context->mode = static_cast<uint16_t>(context->mode & keep);
    context->correctionMask = static_cast<uint16_t>(context->correctionMask & keep);
}

}  // namespace

bool AskCameraPlugin(const char* cameraModel, uint16_t* flags) {
    *flags = 0;
    const PluginLibrary library(kPluginFile);
    if (!library.IsLoaded()) {
        return false;
    }
    // A library without the entry counts as no plug-in; it is still released.
    const auto entry = reinterpret_cast<QVControlEntry>(library.FindEntry(kPluginEntry));
    if (entry == nullptr) {
        return false;
    }
    gCameraEntry.store(entry);
    *flags = entry(cameraModel, 0);
    return true;
}

int16_t ApplyCameraFlags(QVContext* context, uint16_t flags, int16_t meanRadius,
                         SceneChoice* choice) {
    if ((flags & kFlagNoDenoise) != 0) {
        ClearBits(context, kModeDenoise);
    }
    if ((flags & kFlagNoToneTable) != 0) {
        ClearBits(context, kModeByteTable);
    }
    if ((flags & kFlagVeto) != 0) {
        ClearBits(context, kModeCorrect);
        context->sceneCode = kSceneNone;
        context->correctionType = kTypeNone;
        return kVetoed;
    }
    if (choice->sceneClass == kScenePlain && choice->type == kTypeRotation) {
        for (const StrengthFlag& s : kStrengthFlags) {
            if ((flags & s.flag) != 0) {
                choice->rotationStrength = s.strength;
                choice->sceneClass = kScenePartialRotation;
                break;
            }
        }
    }
    for (const GainFlag& g : kGainFlags) {
        if ((flags & g.flag) != 0) {
            context->saturationGain = g.gains.For(meanRadius);
            break;
        }
    }
    return 0;
}

}  // namespace voved
