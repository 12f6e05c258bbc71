#pragma once
// The one face of a loaded animation that the component and the tools see, whatever its
// format: its size, its frames numbered from 1 to frameCount(), their timing, and what
// changed between the frames asked for. A second format is a second class behind this
// one and a line in openAnimation() (OpenAnimation.h).

#include "AnimationTypes.h"
#include "Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace frolix {

class Animation {
public:
    virtual ~Animation() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // At least 1 for anything loaded.
    virtual int frameCount() const = 0;
    // The stored delays (one per frame) and loop count, for the player.
    virtual Timeline timeline() const = 0;
    // How frame `number` (1 to frameCount(); any other stops the program) is stored,
    // from what loading read: cheap, decodes nothing and may be asked from any thread.
    // The one empty frame of a file without any image reports a default FrameInfo (no
    // delay, no disposal, an empty area, no table, no transparency).
    virtual FrameInfo frameInfo(int number) const = 0;
    // The size of the file the animation was loaded from, in bytes.
    virtual std::size_t byteSize() const = 0;

    // The pixels (width * height * 4 bytes, in the order asked for at load) of frame
    // `number`, from 1 to frameCount(); any other number is a caller's bug and stops
    // the program. Valid until the next call.
    virtual std::span<const std::uint8_t> frame(int number) = 0;
    // The part of the canvas that may differ from the frame the call before returned:
    // what was drawn and disposed of on the way, or all of it after a jump.
    virtual Area lastChange() const = 0;
    // True when every pixel of the frame last returned is known to be opaque. A false
    // answer may still be an opaque frame; a viewer uses it to skip painting beneath.
    virtual bool frameOpaque() const = 0;
    // Frames will be asked for backwards from now on (a reverse or ping-pong sequence):
    // a hint to prepare for it, so that no step back has to replay from the start.
    virtual void expectBackwardSteps() = 0;
    // Recoveries met so far, reading the file and drawing its frames.
    virtual std::vector<Warning> warnings() const = 0;
    // True once a frame met bytes lost because another program cut the file short while
    // it was open (warnings() says where); cheap enough to ask after every frame.
    virtual bool fileCutShort() const = 0;
};

} // namespace frolix
