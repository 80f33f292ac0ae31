#include "Linux/lin_movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

struct LIN_movie {
  AVFormatContext* fmt = nullptr;
  AVStream* stream = nullptr;
  AVCodecContext* enc = nullptr;
  SwsContext* sws = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* pkt = nullptr;
  int64_t next_pts = 0;
  int dx = 0, dy = 0;
  bool header_written = false;
};

namespace {
constexpr int k_time_scale = 600;

void free_movie(LIN_movie* m) {
  if (!m) return;
  sws_freeContext(m->sws);
  av_frame_free(&m->frame);
  av_packet_free(&m->pkt);
  avcodec_free_context(&m->enc);
  if (m->fmt) {
    if (m->fmt->pb) avio_closep(&m->fmt->pb);
    avformat_free_context(m->fmt);
  }
  delete m;
}

// Writes every packet the encoder has ready; each lasts units.
int drain(LIN_movie* m, int units) {
  for (;;) {
    int r = avcodec_receive_packet(m->enc, m->pkt);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
    if (r < 0) return r;
    m->pkt->duration = units;
    av_packet_rescale_ts(m->pkt, m->enc->time_base, m->stream->time_base);
    m->pkt->stream_index = m->stream->index;
    r = av_write_frame(m->fmt, m->pkt);
    av_packet_unref(m->pkt);
    if (r < 0) return r;
  }
}
}  // namespace

int LIN_movie_available() {
  return av_guess_format("mov", nullptr, nullptr) && avcodec_find_encoder(AV_CODEC_ID_MJPEG) ? 1 : 0;
}

LIN_movie* LIN_movie_create(const std::string& path, int dx, int dy, int* err) {
  av_log_set_level(AV_LOG_ERROR);
  int r = 0;
  LIN_movie* m = new LIN_movie;
  m->dx = dx, m->dy = dy;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  AVDictionary* opts = nullptr;
  if (dx <= 0 || dy <= 0 || !codec) {
    r = AVERROR(EINVAL);
    goto fail;
  }
  if ((r = avformat_alloc_output_context2(&m->fmt, nullptr, "mov", path.c_str())) < 0) goto fail;
  m->stream = avformat_new_stream(m->fmt, nullptr);
  m->enc = avcodec_alloc_context3(codec);
  m->frame = av_frame_alloc();
  m->pkt = av_packet_alloc();
  if (!m->stream || !m->enc || !m->frame || !m->pkt) {
    r = AVERROR(ENOMEM);
    goto fail;
  }
  m->enc->width = dx;
  m->enc->height = dy;
  m->enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
  m->enc->color_range = AVCOL_RANGE_JPEG;
  m->enc->time_base = AVRational{1, k_time_scale};
  m->enc->flags |= AV_CODEC_FLAG_QSCALE;  // a fixed, normal quality
  m->enc->global_quality = FF_QP2LAMBDA * 4;
  if (m->fmt->oformat->flags & AVFMT_GLOBALHEADER) m->enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((r = avcodec_open2(m->enc, codec, nullptr)) < 0) goto fail;
  if ((r = avcodec_parameters_from_context(m->stream->codecpar, m->enc)) < 0) goto fail;
  m->stream->codecpar->codec_tag = MKTAG('j', 'p', 'e', 'g');  // Photo-JPEG
  m->stream->time_base = AVRational{1, k_time_scale};

  m->frame->format = AV_PIX_FMT_YUVJ420P;
  m->frame->width = dx;
  m->frame->height = dy;
  if ((r = av_frame_get_buffer(m->frame, 0)) < 0) goto fail;
  m->sws = sws_getContext(dx, dy, AV_PIX_FMT_BGRA, dx, dy, AV_PIX_FMT_YUVJ420P, SWS_POINT, nullptr,
                          nullptr, nullptr);
  if (!m->sws) {
    r = AVERROR(EINVAL);
    goto fail;
  }

  if ((r = avio_open(&m->fmt->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) goto fail;
  av_dict_set(&opts, "video_track_timescale", "600", 0);  // else the muxer picks a finer one
  av_dict_set(&opts, "movie_timescale", "600", 0);
  r = avformat_write_header(m->fmt, &opts);
  av_dict_free(&opts);
  if (r < 0) goto fail;
  m->header_written = true;
  *err = 0;
  return m;

fail:
  free_movie(m);
  *err = r < 0 ? r : AVERROR_UNKNOWN;
  return nullptr;
}

int LIN_movie_add_frame(LIN_movie* m, const void* bgra, int units) {
  if (!m || !bgra || units <= 0) return AVERROR(EINVAL);
  int r = av_frame_make_writable(m->frame);
  if (r < 0) return r;
  const uint8_t* src[1] = {static_cast<const uint8_t*>(bgra)};
  const int stride[1] = {m->dx * 4};
  sws_scale(m->sws, src, stride, 0, m->dy, m->frame->data, m->frame->linesize);
  m->frame->pts = m->next_pts;
  m->next_pts += units;
  if ((r = avcodec_send_frame(m->enc, m->frame)) < 0) return r;
  return drain(m, units);  // the encoder keeps no frames back
}

int LIN_movie_close(LIN_movie* m) {
  if (!m) return AVERROR(EINVAL);
  int r = avcodec_send_frame(m->enc, nullptr);
  if (r >= 0) r = drain(m, 1);
  if (m->header_written) {
    const int t = av_write_trailer(m->fmt);
    if (r >= 0) r = t;
  }
  if (m->fmt->pb) {
    const int c = avio_closep(&m->fmt->pb);
    if (r >= 0) r = c;
  }
  free_movie(m);
  return r < 0 ? r : 0;
}

std::string LIN_movie_error_text(int err) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, buf, sizeof buf);
  return buf;
}
