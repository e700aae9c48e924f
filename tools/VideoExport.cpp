#include "VideoExport.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "ToolFiles.h"
#include "UTypes.h"

#ifdef TAVREL_HAVE_VIDEO

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

// ---- Encoder settings -----------------------------------------------------------------------------
//
// A screen recording is mostly still, with sharp one-pixel edges of text on flat colour; the
// settings keep those edges (docs/tavrel-movie.md gives the measurements behind them).
namespace {

const char* const Preset = "medium";
// stillimage: weaker deblocking, which otherwise smears the strokes of small text, and stronger
// psycho-visual tuning, which keeps their contrast.
const char* const Tune = "stillimage";
const char* const Quality = "18";    // constant-quality factor: lower is sharper and larger
// A key frame of a full 1080p screen of text takes about 800 KB, the 49 frames of typing behind it
// together less: key frames only every 50 seconds (and where the picture changes wholly), which a
// browser still seeks within quickly, as the frames between are mostly unchanged.
const int KeyFrameSeconds = 50;
const int AvioBufferSize = 1 << 16;
const int64_t SoundBitRate = 48000;  // AAC for speech, mono

}  // namespace

struct VideoOutput {
  OutputFile Out;
  int32_t Width = 0, Height = 0;  // the movie's frame
  int64_t Frames = 0;
  AVFormatContext* Format = nullptr;
  AVCodecContext* Encoder = nullptr;
  AVStream* Stream = nullptr;
  AVFrame* Picture = nullptr;  // what the encoder is given
  AVPacket* Packet = nullptr;
  SwsContext* Convert = nullptr;  // RGB to yuv420p; none for the lossless RGB video
  std::vector<uint32_t> Padded;   // an odd-sized frame grown to even size, for yuv420p
  // The sound, when the movie has some.
  AVCodecContext* SoundEncoder = nullptr;
  AVStream* SoundStream = nullptr;
  AVFrame* SoundFrame = nullptr;
  std::vector<int16_t> Sound;
  size_t SoundDone = 0;  // samples given to the encoder
};

namespace {

std::string Failure(const std::string& path, const char* doing, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return path + ": cannot " + doing + ": " + text;
}

// ---- The output through OutputFile ----------------------------------------------------------------
//
// The muxer writes through the tool's OutputFile, so the video is made under a temporary name and a
// failed export leaves nothing. To move the index to the front the muxer reads back what it wrote
// (io_open below): that goes through a second handle on the temporary file.

int WriteOut(void* opaque, uint8_t* data, int count) {
  OutputFile* out = static_cast<OutputFile*>(opaque);
  return out->Write(data, (uint32_t)count) ? count : AVERROR(EIO);
}

int64_t SeekOut(void* opaque, int64_t offset, int whence) {
  if ((whence & ~AVSEEK_FORCE) != SEEK_SET || offset < 0) return AVERROR(ENOSYS);
  return static_cast<OutputFile*>(opaque)->Seek((uint64_t)offset) ? offset : AVERROR(EIO);
}

struct ReadBack {
  InputFile In;
  uint64_t Position = 0;
};

int ReadIn(void* opaque, uint8_t* data, int count) {
  ReadBack* back = static_cast<ReadBack*>(opaque);
  if (back->Position >= back->In.Size) return AVERROR_EOF;
  uint64_t left = back->In.Size - back->Position;
  uint32_t n = left < (uint64_t)count ? (uint32_t)left : (uint32_t)count;
  if (!back->In.ReadAt(back->Position, data, n)) return AVERROR(EIO);
  back->Position += n;
  return (int)n;
}

int64_t SeekIn(void* opaque, int64_t offset, int whence) {
  ReadBack* back = static_cast<ReadBack*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return (int64_t)back->In.Size;
  if (whence != SEEK_SET || offset < 0) return AVERROR(ENOSYS);
  back->Position = (uint64_t)offset;
  return offset;
}

AVIOContext* NewAvio(bool write, void* opaque) {
  unsigned char* buffer = static_cast<unsigned char*>(av_malloc(AvioBufferSize));
  if (!buffer) return nullptr;
  AVIOContext* avio = write ? avio_alloc_context(buffer, AvioBufferSize, 1, opaque, nullptr, WriteOut, SeekOut)
                            : avio_alloc_context(buffer, AvioBufferSize, 0, opaque, ReadIn, nullptr, SeekIn);
  if (!avio) av_free(buffer);
  return avio;
}

void FreeAvio(AVIOContext** avio) {
  if (!*avio) return;
  av_freep(&(*avio)->buffer);  // the context may have replaced the buffer it was given
  avio_context_free(avio);
}

int OpenReadBack(AVFormatContext* format, AVIOContext** avio, const char*, int flags, AVDictionary**) {
  // The muxer opens nothing else; its only output is Format->pb.
  if (flags & AVIO_FLAG_WRITE) return AVERROR(EINVAL);
  VideoOutput* video = static_cast<VideoOutput*>(format->opaque);
  if (fflush(video->Out.File) != 0) return AVERROR(EIO);
  ReadBack* back = new ReadBack;
  std::string error;
  *avio = back->In.Open(video->Out.Temp, &error) ? NewAvio(false, back) : nullptr;
  if (!*avio) {
    delete back;
    return AVERROR(EIO);
  }
  return 0;
}

int CloseReadBack(AVFormatContext*, AVIOContext* avio) {
  delete static_cast<ReadBack*>(avio->opaque);
  FreeAvio(&avio);
  return 0;
}

// ---- Setting up -----------------------------------------------------------------------------------

void FreeVideo(VideoOutput* video) {
  if (video->Format) {
    FreeAvio(&video->Format->pb);
    avformat_free_context(video->Format);
  }
  avcodec_free_context(&video->Encoder);
  av_frame_free(&video->Picture);
  avcodec_free_context(&video->SoundEncoder);
  av_frame_free(&video->SoundFrame);
  av_packet_free(&video->Packet);
  sws_freeContext(video->Convert);
  delete video;  // the output file abandons itself unless committed
}

int OpenEncoder(VideoOutput* video, bool lossless) {
  const AVCodec* codec = avcodec_find_encoder_by_name(lossless ? "libx264rgb" : "libx264");
  if (!codec) return AVERROR_ENCODER_NOT_FOUND;
  AVCodecContext* enc = video->Encoder = avcodec_alloc_context3(codec);
  if (!enc) return AVERROR(ENOMEM);
  // 4:2:0 needs even sizes; the lossless RGB video takes the frame as it is.
  enc->width = lossless ? video->Width : (video->Width + 1) & ~1;
  enc->height = lossless ? video->Height : (video->Height + 1) & ~1;
  enc->time_base = AVRational{FramePeriodMs, 1000};
  enc->framerate = AVRational{1000, FramePeriodMs};
  enc->pix_fmt = lossless ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
  enc->gop_size = KeyFrameSeconds * 1000 / FramePeriodMs;
  // No B-frames: presentation order is decoding order, so the MP4 needs no edit list to start at 0,
  // which some players honour badly. A screen recording gains little from them.
  enc->max_b_frames = 0;
  enc->thread_count = 0;  // as many as the machine has
  if (!lossless) {
    // Computer screens are sRGB, whose primaries and transfer are those of BT.709; stated in the
    // stream so that players do not guess BT.601 and shift the colours.
    enc->color_primaries = AVCOL_PRI_BT709;
    enc->color_trc = AVCOL_TRC_BT709;
    enc->colorspace = AVCOL_SPC_BT709;
    enc->color_range = AVCOL_RANGE_MPEG;
  }
  if (video->Format->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", Preset, 0);
  if (lossless) {
    av_dict_set(&options, "qp", "0", 0);
  } else {
    av_dict_set(&options, "tune", Tune, 0);
    av_dict_set(&options, "crf", Quality, 0);
  }
  int code = avcodec_open2(enc, codec, &options);
  av_dict_free(&options);
  if (code < 0) return code;

  video->Picture = av_frame_alloc();
  video->Packet = av_packet_alloc();
  if (!video->Picture || !video->Packet) return AVERROR(ENOMEM);
  video->Picture->format = enc->pix_fmt;
  video->Picture->width = enc->width;
  video->Picture->height = enc->height;
  if ((code = av_frame_get_buffer(video->Picture, 0)) < 0) return code;
  if (!lossless) {
    // Accurate rounding and full-resolution colour on input keep flat colours flat and the colour
    // of thin strokes from bleeding into their neighbours more than 4:2:0 must.
    video->Convert = sws_getContext(enc->width, enc->height, AV_PIX_FMT_BGR0, enc->width, enc->height,
                                    AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                                    nullptr, nullptr, nullptr);
    if (!video->Convert) return AVERROR(ENOMEM);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(video->Convert, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    if (enc->width != video->Width || enc->height != video->Height)
      video->Padded.resize((size_t)enc->width * enc->height);
  }
  return 0;
}

// Sends one picture or piece of sound (or, with none, the end of the input) to an encoder and writes
// every packet that comes out into its stream.
int Encode(VideoOutput* video, AVCodecContext* encoder, AVStream* stream, AVFrame* frame) {
  int code = avcodec_send_frame(encoder, frame);
  while (code >= 0) {
    code = avcodec_receive_packet(encoder, video->Packet);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return 0;
    if (code < 0) break;
    if (encoder == video->Encoder) video->Packet->duration = 1;  // every picture lasts one frame period
    av_packet_rescale_ts(video->Packet, encoder->time_base, stream->time_base);
    video->Packet->stream_index = stream->index;
    code = av_interleaved_write_frame(video->Format, video->Packet);
  }
  return code;
}

int OpenSound(VideoOutput* video, const VideoSound* sound) {
  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  if (!codec) return AVERROR_ENCODER_NOT_FOUND;
  AVCodecContext* enc = video->SoundEncoder = avcodec_alloc_context3(codec);
  if (!enc) return AVERROR(ENOMEM);
  enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
  enc->sample_rate = (int)sound->SampleRate;
  av_channel_layout_default(&enc->ch_layout, 1);
  enc->bit_rate = SoundBitRate;
  enc->time_base = AVRational{1, enc->sample_rate};
  if (video->Format->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int code = avcodec_open2(enc, codec, nullptr);
  if (code < 0) return code;
  video->SoundFrame = av_frame_alloc();
  if (!video->SoundFrame) return AVERROR(ENOMEM);
  video->SoundFrame->format = enc->sample_fmt;
  video->SoundFrame->sample_rate = enc->sample_rate;
  video->SoundFrame->nb_samples = enc->frame_size;
  if ((code = av_channel_layout_copy(&video->SoundFrame->ch_layout, &enc->ch_layout)) < 0 ||
      (code = av_frame_get_buffer(video->SoundFrame, 0)) < 0)
    return code;
  video->SoundStream = avformat_new_stream(video->Format, nullptr);
  if (!video->SoundStream) return AVERROR(ENOMEM);
  video->SoundStream->time_base = enc->time_base;
  video->Sound = sound->Samples;
  return avcodec_parameters_from_context(video->SoundStream->codecpar, enc);
}

// The sound up to sample `until` (the end of the pictures so far), in the encoder's frames; at the
// end (SoundEnd) the last frame is filled up with silence and the encoder drained.
const size_t SoundEnd = SIZE_MAX;
int EncodeSound(VideoOutput* video, size_t until) {
  if (!video->SoundEncoder) return 0;
  AVFrame* frame = video->SoundFrame;
  size_t size = (size_t)frame->nb_samples, total = video->Sound.size();
  int code = 0;
  while (code >= 0 && video->SoundDone < total && (video->SoundDone + size <= until || until == SoundEnd)) {
    if ((code = av_frame_make_writable(frame)) < 0) break;
    float* out = reinterpret_cast<float*>(frame->data[0]);
    for (size_t i = 0; i < size; i++) {
      size_t at = video->SoundDone + i;
      out[i] = at < total ? video->Sound[at] / 32768.0f : 0.0f;
    }
    frame->pts = (int64_t)video->SoundDone;
    video->SoundDone += size;
    code = Encode(video, video->SoundEncoder, video->SoundStream, frame);
  }
  if (code >= 0 && until == SoundEnd) code = Encode(video, video->SoundEncoder, video->SoundStream, nullptr);
  return code;
}

}  // namespace

bool VideoAvailable() { return true; }

VideoOutput* BeginVideo(const std::string& path, int32_t width, int32_t height, bool lossless,
                        const std::string& title, const VideoSound* sound, std::string* error) {
  av_log_set_level(AV_LOG_ERROR);  // the encoders' chatter would bury the tool's own messages
  VideoOutput* video = new VideoOutput;
  video->Width = width;
  video->Height = height;
  if (!video->Out.Open(path, error)) {
    FreeVideo(video);
    return nullptr;
  }
  int code = avformat_alloc_output_context2(&video->Format, nullptr, "mp4", nullptr);
  if (code >= 0) {
    video->Format->opaque = video;
    video->Format->io_open = OpenReadBack;
    video->Format->io_close2 = CloseReadBack;
    video->Format->pb = NewAvio(true, &video->Out);
    if (!video->Format->pb) code = AVERROR(ENOMEM);
  }
  const char* doing = "start the video";
  if (code >= 0 && (code = OpenEncoder(video, lossless)) == AVERROR_ENCODER_NOT_FOUND) doing = "find x264 in this build";
  if (code >= 0) {
    video->Stream = avformat_new_stream(video->Format, nullptr);
    if (!video->Stream) code = AVERROR(ENOMEM);
  }
  if (code >= 0) code = avcodec_parameters_from_context(video->Stream->codecpar, video->Encoder);
  if (code >= 0 && sound && (code = OpenSound(video, sound)) < 0)
    doing = code == AVERROR_ENCODER_NOT_FOUND ? "find the AAC encoder in this build" : "start the sound";
  if (code >= 0) {
    video->Stream->time_base = video->Encoder->time_base;
    video->Stream->avg_frame_rate = video->Encoder->framerate;
    if (!title.empty()) av_dict_set(&video->Format->metadata, "title", title.c_str(), 0);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    code = avformat_write_header(video->Format, &options);
    av_dict_free(&options);
  }
  if (code < 0) {
    *error = Failure(path, doing, code);
    FreeVideo(video);
    return nullptr;
  }
  return video;
}

bool AddVideoFrame(VideoOutput* video, const uint32_t* frame, std::string* error) {
  AVFrame* picture = video->Picture;
  int code = av_frame_make_writable(picture);  // the encoder may still hold the last one
  if (code >= 0 && video->Convert) {
    const uint32_t* source = frame;
    int32_t w = video->Width, h = video->Height, pw = picture->width, ph = picture->height;
    if (!video->Padded.empty()) {
      // The added column and row repeat the edge, so that the encoder sees no new edge there.
      uint32_t* padded = video->Padded.data();
      for (int32_t y = 0; y < ph; y++) {
        const uint32_t* row = frame + (size_t)(y < h ? y : h - 1) * w;
        std::copy(row, row + w, padded + (size_t)y * pw);
        if (pw > w) padded[(size_t)y * pw + w] = row[w - 1];
      }
      source = padded;
    }
    const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(source)};
    int strides[1] = {pw * 4};
    sws_scale(video->Convert, planes, strides, 0, ph, picture->data, picture->linesize);
  } else if (code >= 0) {
    for (int32_t y = 0; y < video->Height; y++)
      memcpy(picture->data[0] + (size_t)y * picture->linesize[0], frame + (size_t)y * video->Width,
             (size_t)video->Width * 4);
  }
  picture->pts = video->Frames;
  if (code >= 0) code = Encode(video, video->Encoder, video->Stream, picture);
  // The sound as far as the end of this picture.
  if (code >= 0 && video->SoundEncoder)
    code = EncodeSound(video, (size_t)((video->Frames + 1) * video->SoundEncoder->sample_rate * FramePeriodMs / 1000));
  if (code < 0) {
    *error = Failure(video->Out.Path, "encode the video", code);
    return false;
  }
  video->Frames++;
  return true;
}

bool FinishVideo(VideoOutput* video, std::string* error) {
  int code = Encode(video, video->Encoder, video->Stream, nullptr);
  if (code >= 0) code = EncodeSound(video, SoundEnd);
  if (code >= 0) code = av_write_trailer(video->Format);
  bool ok = code >= 0;
  if (!ok) *error = Failure(video->Out.Path, "finish the video", code);
  ok = ok && video->Out.Commit(error);
  FreeVideo(video);
  return ok;
}

void AbandonVideo(VideoOutput* video) {
  if (video) FreeVideo(video);
}

#else

// Built without FFmpeg (a Windows build whose FFmpeg could not be made): the command says so.
struct VideoOutput {};

bool VideoAvailable() { return false; }

VideoOutput* BeginVideo(const std::string&, int32_t, int32_t, bool, const std::string&, const VideoSound*,
                        std::string* error) {
  *error = "this build of tavrel-movie cannot write MP4 files; use the Linux build, or export --raw into ffmpeg";
  return nullptr;
}

bool AddVideoFrame(VideoOutput*, const uint32_t*, std::string*) { return false; }
bool FinishVideo(VideoOutput*, std::string*) { return false; }
void AbandonVideo(VideoOutput*) {}

#endif
