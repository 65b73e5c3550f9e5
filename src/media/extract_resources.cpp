#include "media/extract_resources.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <span>
#include <vector>

#include "core/log.h"
#include "media/flv_output.h"
#include "media/jpeg_repair.h"
#include "media/media_file.h"
#include "media/output_file.h"
#include "media/png_output.h"
#include "media/swf_header.h"

namespace vantrel::media {

namespace {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

enum TagCode : std::uint16_t {
  kEnd = 0,
  kDefineBits = 6,
  kJpegTables = 8,
  kDefineSound = 14,
  kSoundStreamHead = 18,
  kSoundStreamBlock = 19,
  kDefineBitsLossless = 20,
  kDefineBitsJpeg2 = 21,
  kDefineBitsJpeg3 = 35,
  kDefineBitsLossless2 = 36,
  kDefineSprite = 39,
  kSoundStreamHead2 = 45,
  kDefineVideoStream = 60,
  kVideoFrame = 61,
  kMetadata = 77,
  kDefineBitsJpeg4 = 90,
};

constexpr std::uint8_t kFormatMp3 = 2;
// Video streams open at once; a movie with more gets the first ones.
constexpr std::size_t kMaxOpenVideos = 64;
constexpr double kRefreshSeconds = 0.1;

std::uint16_t Id(ByteSpan body) { return body.size() >= 2 ? static_cast<std::uint16_t>(body[0] | (body[1] << 8)) : 0; }

std::uint32_t U32(ByteSpan body, std::size_t at) {
  if (body.size() < at + 4) return 0;
  return static_cast<std::uint32_t>(body[at]) | (static_cast<std::uint32_t>(body[at + 1]) << 8) |
         (static_cast<std::uint32_t>(body[at + 2]) << 16) | (static_cast<std::uint32_t>(body[at + 3]) << 24);
}

ByteSpan From(ByteSpan bytes, std::size_t offset) { return offset < bytes.size() ? bytes.subspan(offset) : ByteSpan{}; }

ByteSpan Range(ByteSpan bytes, std::size_t offset, std::size_t length) {
  const ByteSpan tail = From(bytes, offset);
  return tail.first(std::min(length, tail.size()));
}

Bytes Join(ByteSpan a, ByteSpan b) {
  Bytes out(a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// The bytes a DefineBits or DefineBitsJPEG2 image is written with: as laid out (the
// tables buffer and the image part), with the repair of the one table layout it fits.
// Any other layout is written as it stands.
Bytes RepairedJpeg(Bytes laidOut) {
  RepairJpeg(laidOut);
  return laidOut;
}

// The one JPEG stream a decoder needs for an image whose alpha goes into a PNG: SWF
// files from different encoders carry an extra FF D9 FF D8 prefix or a table stream in
// front, which are merged into one stream when the data is not one already.
Bytes DecodableJpeg(ByteSpan image) {
  Bytes bytes(image.begin(), image.end());
  if (IsWellFormedJpeg(bytes)) return bytes;
  if (Bytes merged = MergeJpegStreams(bytes); IsWellFormedJpeg(merged)) return merged;
  return bytes;
}

// Extracted files can be made again at any time, so they skip the flush to disk that
// makes conversions durable; they still appear only when complete.
std::string OpenOutput(OutputFile& out, const std::string& path) {
  std::string reason = out.Open(path);
  out.SetDurable(false);
  return reason;
}

const char* ExtensionFor(ImageData kind) {
  switch (kind) {
    case ImageData::Png: return ".png";
    case ImageData::Gif: return ".gif";
    case ImageData::Jpeg: break;
  }
  return ".jpg";
}

class Walk {
 public:
  Walk(const MediaRecord& record, const std::string& destination, ExtractCounters& counters, core::ExecutionLog* log)
      : record_(record), destination_(destination), counters_(counters), log_(log) {}

  // Walks the movie at record.MoviePath, or movie when it is given.
  ExtractReport Run(const ExtractProgress& progress, const std::atomic<bool>* cancel,
                    const std::span<const std::uint8_t>* movie = nullptr);

 private:
  // The handler's label, or "" for a tag that is passed over (skip: no log, no progress).
  std::string_view Handle(const TagHeader& tag, bool& skip);

  bool On(ExtractCategory category) const { return counters_[category] >= 0; }
  void Count(ExtractCategory category) { ++counters_[category]; }
  Bytes Body(const TagHeader& tag);
  std::string Output(std::string_view middle) const { return destination_ + record_.FileName + std::string(middle); }
  std::string IdOutput(std::uint16_t id, std::string_view extension) const {
    return Output("." + std::to_string(id) + std::string(extension));
  }
  void Fail(const std::string& reason);
  void Damaged(const std::string& reason);
  void WriteWhole(const std::string& path, ByteSpan bytes);
  void WriteJpegImage(std::uint16_t id, ByteSpan imageData, ByteSpan laidOut);
  void CloseStream();
  void CloseVideos();
  std::int64_t PastZeros(std::int64_t position);

  const MediaRecord& record_;
  const std::string& destination_;
  ExtractCounters& counters_;
  core::ExecutionLog* log_;
  MediaFile file_;
  ExtractReport report_;

  Bytes tables_;          // the JPEG tables buffer: the JPEGTables body from its fifth byte
  std::uint16_t sprite_ = 0;
  OutputFile stream_;
  std::map<std::uint16_t, FlvVideoWriter> videos_;
};

void Walk::Fail(const std::string& reason) {
  if (report_.failed++ == 0) report_.firstFailure = reason;
  if (log_) log_->WriteLog("<B>Warning:</B> " + reason);
}

void Walk::Damaged(const std::string& reason) {
  if (report_.damaged++ == 0) report_.firstDamage = reason;
  if (log_) log_->WriteLog("<B>Warning:</B> " + reason);
}

Bytes Walk::Body(const TagHeader& tag) {
  const std::uint64_t start = static_cast<std::uint64_t>(std::max<std::int64_t>(tag.BodyPosition - 1, 0));
  const std::uint64_t available = start < file_.Size() ? file_.Size() - start : 0;
  // A tag that claims more than the file holds gets the bytes that are there.
  Bytes body(static_cast<std::size_t>(std::min<std::uint64_t>(tag.Length, available)));
  if (!body.empty()) file_.ReadAt(start, body.data(), body.size());
  return body;
}

void Walk::WriteWhole(const std::string& path, ByteSpan bytes) {
  OutputFile out;
  std::string reason = OpenOutput(out, path);
  if (reason.empty() && !out.Write(bytes)) reason = out.Error();
  if (reason.empty()) reason = out.Commit();
  if (!reason.empty()) Fail(reason);
}

void Walk::WriteJpegImage(std::uint16_t id, ByteSpan imageData, ByteSpan laidOut) {
  if (imageData.empty()) {
    Damaged(IdOutput(id, ".jpg") + ": the tag holds no image data");
    return;
  }
  const ImageData kind = SniffImageData(imageData);
  if (kind != ImageData::Jpeg) {
    WriteWhole(IdOutput(id, ExtensionFor(kind)), imageData);
    return;
  }
  WriteWhole(IdOutput(id, ".jpg"), RepairedJpeg(Bytes(laidOut.begin(), laidOut.end())));
}

void Walk::CloseStream() {
  if (!stream_.IsOpen()) return;
  // A stream head without blocks still leaves its (empty) file: the head was counted.
  if (std::string reason = stream_.Commit(); !reason.empty()) Fail(reason);
}

// A run of zero bytes reads as End tags of length 0, two bytes each, which change
// nothing after the first: a damaged or padded movie may hold megabytes of them. Returns
// the position of the first tag after the run (an even number of bytes on).
std::int64_t Walk::PastZeros(std::int64_t position) {
  std::uint8_t chunk[64 * 1024];
  std::int64_t at = position;
  const auto size = static_cast<std::int64_t>(file_.Size());
  while (at <= size) {
    const std::size_t got = file_.ReadAt(static_cast<std::uint64_t>(at - 1), chunk,
                                         static_cast<std::size_t>(std::min<std::int64_t>(sizeof chunk, size - at + 1)));
    if (got == 0) break;
    const std::uint8_t* begin = chunk;
    const std::uint8_t* end = chunk + got;
    const std::uint8_t* nonZero = std::find_if(begin, end, [](std::uint8_t b) { return b != 0; });
    at += nonZero - begin;
    if (nonZero != end) break;
  }
  return position + ((at - position) & ~std::int64_t{1});
}

void Walk::CloseVideos() {
  for (auto& [id, writer] : videos_)
    if (std::string reason = writer.Commit(); !reason.empty()) Fail(reason);
  videos_.clear();
}

std::string_view Walk::Handle(const TagHeader& tag, bool& skip) {
  skip = false;
  switch (tag.Code) {
    case kEnd:
      sprite_ = 0;
      CloseStream();
      return "End";

    case kDefineBits: {
      if (!On(kExtractJpeg)) break;
      Count(kExtractJpeg);
      const Bytes body = Body(tag);
      const ByteSpan image = From(body, 2);
      WriteWhole(IdOutput(Id(body), ".jpg"), RepairedJpeg(Join(tables_, image)));
      return "DefineBits";
    }

    case kJpegTables:
      if (tag.Length >= 5) {
        const Bytes body = Body(tag);
        const ByteSpan after = From(body, 4);
        tables_.assign(after.begin(), after.end());
      }
      return "JPEGTables";

    case kDefineSound: {
      if (!On(kExtractEvent)) break;
      const Bytes body = Body(tag);
      if (body.size() < 3 || (body[2] >> 4) != kFormatMp3) break;
      Count(kExtractEvent);
      if (body.size() <= 9) Damaged(IdOutput(Id(body), ".mp3") + ": the tag holds no sound data");
      else WriteWhole(IdOutput(Id(body), ".mp3"), From(body, 9));
      return "DefineSound";
    }

    case kSoundStreamHead:
    case kSoundStreamHead2: {
      if (!On(kExtractStream)) break;
      // A head in another format is passed over before anything else: the MP3 stream
      // before it stays open and takes the blocks that follow.
      const Bytes body = Body(tag);
      if (body.size() < 2 || (body[1] >> 4) != kFormatMp3) break;
      Count(kExtractStream);
      CloseStream();
      const std::string name = sprite_ != 0 ? ".stream" + std::to_string(sprite_) + ".mp3" : ".stream.mp3";
      if (std::string reason = OpenOutput(stream_, Output(name)); !reason.empty()) Fail(reason);
      return tag.Code == kSoundStreamHead ? "SoundStreamHead" : "SoundStreamHead2";
    }

    case kSoundStreamBlock:
      if (tag.Length > 4 && stream_.IsOpen()) {
        const Bytes body = Body(tag);
        if (!stream_.Write(From(body, 4))) {
          Fail(stream_.Error());
          stream_.Abandon();
        }
      }
      return "SoundStreamBlock";

    case kDefineBitsJpeg2: {
      if (!On(kExtractJpeg)) break;
      Count(kExtractJpeg);
      const Bytes body = Body(tag);
      WriteJpegImage(Id(body), From(body, 2), From(body, 6));
      return "DefineBitsJPEG2";
    }

    case kDefineBitsJpeg3:
    case kDefineBitsJpeg4: {
      // Images with an alpha plane are lossless output: written as PNG (or as the PNG
      // or GIF data they carry) under that choice only.
      if (!On(kExtractPng)) return {};
      const Bytes body = Body(tag);
      const std::size_t dataStart = tag.Code == kDefineBitsJpeg3 ? 6 : 8;
      const ByteSpan image = Range(body, dataStart, U32(body, 2));
      const ByteSpan alpha = From(body, dataStart + image.size());
      Count(kExtractPng);
      const ImageData kind = SniffImageData(image);
      if (image.empty()) {
        Damaged(IdOutput(Id(body), ".png") + ": the tag holds no image data");
      } else if (kind != ImageData::Jpeg) {
        WriteWhole(IdOutput(Id(body), ExtensionFor(kind)), image);
      } else {
        const std::string path = IdOutput(Id(body), ".png");
        OutputFile out;
        std::string reason = OpenOutput(out, path);
        if (!reason.empty()) {
          Fail(reason);
        } else if (reason = WriteJpegAlphaPng(DecodableJpeg(image), alpha, out); !reason.empty()) {
          Damaged(path + ": " + reason);
        } else if (reason = out.Commit(); !reason.empty()) {
          Fail(reason);
        }
      }
      return tag.Code == kDefineBitsJpeg3 ? "DefineBitsJPEG3" : "DefineBitsJPEG4";
    }

    case kDefineBitsLossless:
    case kDefineBitsLossless2: {
      if (!On(kExtractPng)) break;
      Count(kExtractPng);
      const Bytes body = Body(tag);
      const std::string path = IdOutput(Id(body), ".png");
      OutputFile out;
      std::string reason = OpenOutput(out, path);
      if (!reason.empty()) {
        Fail(reason);
      } else if (reason = WriteLosslessPng(body, tag.Code == kDefineBitsLossless2, out); !reason.empty()) {
        Damaged(path + ": " + reason);
      } else if (reason = out.Commit(); !reason.empty()) {
        Fail(reason);
      }
      return tag.Code == kDefineBitsLossless ? "DefineBitsLossless" : "DefineBitsLossless2";
    }

    case kDefineSprite: {
      std::uint8_t id[2] = {0, 0};
      file_.ReadAt(static_cast<std::uint64_t>(std::max<std::int64_t>(tag.BodyPosition - 1, 0)), id, 2);
      sprite_ = static_cast<std::uint16_t>(id[0] | (id[1] << 8));
      return "DefineSprite";
    }

    case kDefineVideoStream: {
      if (!On(kExtractVideo)) break;
      const Bytes body = Body(tag);
      if (body.size() < 10 || !IsFlvVideoCodec(body[9])) break;
      const std::uint16_t id = Id(body);
      Count(kExtractVideo);
      if (auto old = videos_.find(id); old != videos_.end()) {
        if (std::string reason = old->second.Commit(); !reason.empty()) Fail(reason);
        videos_.erase(old);
      }
      if (videos_.size() >= kMaxOpenVideos) {
        Fail(IdOutput(id, ".flv") + ": too many video streams open at once");
        return "DefineVideoStream";
      }
      const auto width = static_cast<std::uint16_t>(body[4] | (body[5] << 8));
      const auto height = static_cast<std::uint16_t>(body[6] | (body[7] << 8));
      FlvVideoWriter writer;
      if (std::string reason = writer.Open(IdOutput(id, ".flv"), body[9], width, height, record_.FrameRate);
          !reason.empty()) {
        Fail(reason);
        return "DefineVideoStream";
      }
      videos_.emplace(id, std::move(writer));
      return "DefineVideoStream";
    }

    case kVideoFrame: {
      if (!On(kExtractVideo) || videos_.empty()) break;
      const Bytes body = Body(tag);
      const auto video = videos_.find(Id(body));
      if (body.size() < 4 || video == videos_.end()) break;
      const auto frame = static_cast<std::uint16_t>(body[2] | (body[3] << 8));
      if (!video->second.AddFrame(frame, From(body, 4))) {
        Fail(IdOutput(video->first, ".flv") + ": the frame could not be written");
        videos_.erase(video);
      }
      return "VideoFrame";
    }

    case kMetadata:
      WriteWhole(Output(".rdf.xml"), Body(tag));
      return "Info";

    default:
      return {};
  }
  skip = true;
  return {};
}

ExtractReport Walk::Run(const ExtractProgress& progress, const std::atomic<bool>* cancel,
                        const std::span<const std::uint8_t>* movie) {
  if (log_) log_->WriteLog(" :: Resource Extraction");
  if (movie) {
    file_.OpenMemory(*movie);
  } else if (!file_.Open(record_.MoviePath)) {
    Fail("Cannot read " + record_.MoviePath);
    return report_;
  }
  using Clock = std::chrono::steady_clock;
  bool refreshed = false;
  Clock::time_point lastRefresh;
  std::int64_t position = std::max<std::int32_t>(record_.HeaderEnd, 1);
  const auto size = static_cast<std::int64_t>(file_.Size());
  // Every tag moves the position on by at least its two header bytes.
  while (position <= size && !(cancel && cancel->load())) {
    const TagHeader tag = ReadTagHeader(file_, position);
    bool skip = false;
    const std::string_view label = Handle(tag, skip);
    position = tag.NextPosition();
    if (tag.Code == kEnd && tag.Length == 0) position = PastZeros(position);
    if (skip) continue;
    if (log_)
      log_->WriteLog(std::to_string(tag.Code) + ": " + std::string(label) + " (" + std::to_string(tag.Length) + ")");
    if (label.empty() || !progress) continue;
    const Clock::time_point now = Clock::now();
    if (refreshed && std::chrono::duration<double>(now - lastRefresh).count() <= kRefreshSeconds) continue;
    refreshed = true;
    lastRefresh = now;
    const double value = record_.MovieSize > 0 ? static_cast<double>(tag.NextPosition()) / record_.MovieSize : 1.0;
    progress(std::clamp(value, 0.0, 1.0), label);
  }
  CloseStream();
  CloseVideos();
  return report_;
}

}  // namespace

ExtractCounters CountersFor(const std::array<bool, kExtractCategories>& chosen) {
  ExtractCounters counters{};
  for (std::size_t i = 0; i < kExtractCategories; ++i) counters[i] = chosen[i] ? 0 : -1;
  return counters;
}

ExtractReport ExtractResources(const MediaRecord& record, const std::string& destination,
                               const ExtractProgress& progress, ExtractCounters& counters,
                               const std::atomic<bool>* cancel, core::ExecutionLog* log) {
  Walk walk(record, destination, counters, log);
  return walk.Run(progress, cancel);
}

ExtractReport ExtractResourcesFrom(std::span<const std::uint8_t> movie, const MediaRecord& record,
                                   const std::string& destination, const ExtractProgress& progress,
                                   ExtractCounters& counters, const std::atomic<bool>* cancel,
                                   core::ExecutionLog* log) {
  Walk walk(record, destination, counters, log);
  return walk.Run(progress, cancel, &movie);
}

std::string ExtractSummary(const ExtractCounters& counters) {
  std::string summary;
  for (std::size_t i = 0; i < kExtractCategories; ++i)
    if (counters[i] > 0) summary += "\r\n" + std::string(kExtractCaptions[i]) + ": " + std::to_string(counters[i]);
  return summary;
}

std::string ExtractMessage(const ExtractCounters& counters) {
  const std::string summary = ExtractSummary(counters);
  if (summary.empty()) return "No resources were extracted";
  return "The following resources were extracted:\r\n" + summary;
}

}  // namespace vantrel::media
