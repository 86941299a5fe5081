#include "support/stream_driver.h"

#include <algorithm>

namespace voved::test {

StreamRun DriveConversion(QVHandle* handle, const std::vector<PixelLine>& input,
                          const StreamArgs& args, int maxCalls) {
    const std::size_t lineBytes = static_cast<std::size_t>(args.pixelCount) *
                                  static_cast<std::size_t>(std::max<int>(args.step, 0));
    const PixelLine empty(lineBytes, 0);
    StreamRun run;
    std::size_t current = 0;
    PixelLine output(lineBytes, kUnwritten);
    for (int call = 0; call < maxCalls; ++call) {
        const PixelLine& line = input.empty() ? empty : input[current];
        const uint16_t result =
            QVCorrection2(handle, line.data(), output.data(), args.pixelCount, args.step,
                          args.layout, args.toneHue, args.sharpenLevel);
        run.results.push_back(result);
        run.presented.push_back(static_cast<int>(current));
        if (result == QV_STEP_FAILED) {
            run.failed = true;
            return run;
        }
        if ((result & QV_STEP_OUTPUT) != 0) {
            run.delivered.push_back(output);
            output.assign(lineBytes, kUnwritten);
        }
        if ((result & QV_STEP_TAKEN) != 0 && current + 1 < input.size()) {
            ++current;
        }
        if ((result & QV_STEP_LAST) != 0) {
            run.completed = true;
            return run;
        }
    }
    return run;
}

}  // namespace voved::test
