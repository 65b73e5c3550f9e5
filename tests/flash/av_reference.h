// FFmpeg's own reading of a media file, through libavformat's demuxer and its decoders,
// as the reference our decoding is held against; and the measures that compare them.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "flash/audio/sound_format.h"

namespace vantrel::testing {

// The file's first audio stream decoded and resampled to 44.1 kHz stereo float.
bool ReferenceAudio(const std::string& path, flash::audio::PcmBuffer& out, std::string* error = nullptr);
// The file's video frames in order, as RGB pictures; accurate converts the colour with
// exact rounding and interpolated chroma (what a careful player shows).
bool ReferenceVideo(const std::string& path, std::vector<QImage>& frames, std::string* error = nullptr,
                    bool accurate = false);

// The largest normalised correlation of the two sounds' mono mixes over start offsets
// up to maxLag frames either way, over the length both have after aligning.
double BestCorrelation(const flash::audio::PcmBuffer& a, const flash::audio::PcmBuffer& b, int maxLag,
                       int* lagFound = nullptr);
// Peak signal-to-noise ratio of two same-sized pictures over R, G and B, in dB (99 when equal).
double Psnr(const QImage& a, const QImage& b);
// Root mean square of frames [from, to) of a sound.
double Rms(const flash::audio::PcmBuffer& pcm, std::size_t from, std::size_t to);

}  // namespace vantrel::testing
