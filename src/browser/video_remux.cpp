// An FLV file's H.264 pictures and AAC sound copied into MP4 or Matroska as they are.
#include <string>
#include <vector>

#include "browser/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace vantrel::browser {

namespace {

struct Remux {
  AVFormatContext* input = nullptr;
  AVFormatContext* output = nullptr;
  AVPacket* packet = nullptr;
  ~Remux() {
    av_packet_free(&packet);
    avformat_close_input(&input);
    if (output) {
      if (output->pb) avio_closep(&output->pb);
      avformat_free_context(output);
    }
  }
};

std::string CodecName(AVCodecID id) {
  const char* name = avcodec_get_name(id);
  return name ? name : "an unknown codec";
}

}  // namespace

std::string RemuxVideo(const std::string& source, const std::string& target, ExportFormat format) {
  if (format != ExportFormat::Mp4 && format != ExportFormat::Mkv)
    return "a video is copied without coding it again only into MP4 or Matroska";
  av_log_set_level(AV_LOG_FATAL);
  Remux r;
  if (avformat_open_input(&r.input, source.c_str(), av_find_input_format("flv"), nullptr) < 0 ||
      avformat_find_stream_info(r.input, nullptr) < 0)
    return "cannot read " + source + " as a Flash video";
  std::vector<int> streamMap(r.input->nb_streams, -1);
  bool hasVideo = false;
  for (unsigned i = 0; i < r.input->nb_streams; ++i) {
    const AVCodecParameters* codec = r.input->streams[i]->codecpar;
    if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (codec->codec_id != AV_CODEC_ID_H264)
        return "its pictures are " + CodecName(codec->codec_id) + ", not H.264: export it without --copy to code them again";
      hasVideo = true;
    } else if (codec->codec_type == AVMEDIA_TYPE_AUDIO) {
      if (codec->codec_id != AV_CODEC_ID_AAC)
        return "its sound is " + CodecName(codec->codec_id) + ", not AAC: export it without --copy to code it again";
    }
  }
  if (!hasVideo) return "it has no pictures";
  TemporaryTarget file;
  if (std::string failure = file.Create(target); !failure.empty()) return failure;
  const char* muxer = format == ExportFormat::Mp4 ? "mp4" : "matroska";
  if (avformat_alloc_output_context2(&r.output, nullptr, muxer, file.Path().c_str()) < 0 || !r.output)
    return std::string("this FFmpeg cannot write ") + muxer + " files";
  int next = 0;
  for (unsigned i = 0; i < r.input->nb_streams; ++i) {
    const AVStream* in = r.input->streams[i];
    if (in->codecpar->codec_type != AVMEDIA_TYPE_VIDEO && in->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    AVStream* out = avformat_new_stream(r.output, nullptr);
    if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) return "out of memory";
    out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    streamMap[i] = next++;
  }
  if (avio_open(&r.output->pb, file.Path().c_str(), AVIO_FLAG_WRITE) < 0) return "cannot write " + target;
  AVDictionary* options = nullptr;
  if (format == ExportFormat::Mp4) av_dict_set(&options, "movflags", "+faststart", 0);
  const int started = avformat_write_header(r.output, &options);
  av_dict_free(&options);
  if (started < 0) return "cannot start " + target;
  r.packet = av_packet_alloc();
  if (!r.packet) return "out of memory";
  while (av_read_frame(r.input, r.packet) >= 0) {
    const int index = r.packet->stream_index;
    if (index < 0 || static_cast<std::size_t>(index) >= streamMap.size() || streamMap[static_cast<std::size_t>(index)] < 0) {
      av_packet_unref(r.packet);
      continue;
    }
    AVStream* out = r.output->streams[streamMap[static_cast<std::size_t>(index)]];
    av_packet_rescale_ts(r.packet, r.input->streams[index]->time_base, out->time_base);
    r.packet->stream_index = out->index;
    r.packet->pos = -1;
    if (av_interleaved_write_frame(r.output, r.packet) < 0) return "cannot write " + target;
  }
  if (av_write_trailer(r.output) < 0 || avio_closep(&r.output->pb) < 0) return "cannot finish " + target;
  return file.Commit();
}

}  // namespace vantrel::browser
