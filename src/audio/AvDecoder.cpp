// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AvDecoder.h"

#include "base/runlog.h"
#include "tags/songformat.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// The demuxers and decoders the song formats need, and nothing else of FFmpeg.
constexpr const char* formatWhitelist = "flac,ogg,mov,mp4,m4a,wav";
constexpr const char* codecWhitelist =
    "flac,vorbis,opus,aac,alac,pcm_u8,pcm_s16le,pcm_s24le,pcm_s32le,"
    "pcm_f32le,pcm_f64le,pcm_s16be,pcm_s24be,pcm_s32be,pcm_f32be,pcm_f64be";
// Enough of a file's start to judge its format: an Ogg page header with its segment table and the first
// packet's signature.
constexpr int headBytes = 512;
// Bytes FFmpeg reads per call through the file procedures.
constexpr int ioBufferBytes = 32768;
// How much of the file the demuxer may look at to learn the stream's parameters where the header lacks them.
constexpr qint64 probeBytes = 1 << 20;
constexpr qint64 analyzeMicroseconds = qint64(5) * AV_TIME_BASE;
// A hostile file could make FFmpeg complain at every packet: the log takes this many of its lines per run.
constexpr int loggedLinesLimit = 200;

// FFmpeg's errors go to the run's log, its chatter nowhere (never to the terminal).
void logFromFfmpeg(void* context, int level, const char* text, va_list arguments)
{
    if (level > AV_LOG_ERROR)
        return;
    static std::atomic<int> logged{0};
    if (logged.fetch_add(1) >= loggedLinesLimit)
        return;
    char line[512] = {};
    int printPrefix = 1;
    av_log_format_line2(context, level, text, arguments, line, sizeof line, &printPrefix);
    logMessage(QStringLiteral("FFmpeg: ") + QString::fromUtf8(line).trimmed());
}

void routeFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logFromFfmpeg); });
}

// No other file is opened on behalf of a song: an MP4 may point at media elsewhere.
int refuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

bool whitelisted(const char* name)
{
    return name && av_match_list(name, codecWhitelist, ',') > 0;
}

QString tagText(const AVDictionary* dictionary, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
    return entry && entry->value ? QString::fromUtf8(entry->value) : QString();
}

} // namespace

AvDecoder::AvDecoder(const FileProcedures& fileProcedures, void* fileUser, int rateWanted,
                     const std::atomic<bool>* cancel)
    : procedures(fileProcedures), user(fileUser), cancelled(cancel), wantedRate(rateWanted)
{}

AvDecoder::~AvDecoder()
{
    close();
}

bool AvDecoder::takes(const FileProcedures& procedures, void* user)
{
    QByteArray head(headBytes, '\0');
    head.resize(int(procedures.read(head.data(), quint32(head.size()), user)));
    bool other = formatOfHead(head) != SongFormat::Mp3;
    // Some taggers put an ID3v2 tag in front of a FLAC stream, which the library reads as FLAC; FFmpeg
    // passes over the tag by itself.
    if (!other && head.size() >= 10 && head.startsWith("ID3")) {
        quint64 tagBytes = 10;
        for (int i = 6; i < 10; ++i)
            tagBytes += quint64(static_cast<unsigned char>(head.at(i)) & 0x7f) << (7 * (9 - i));
        if (static_cast<unsigned char>(head.at(5)) & 0x10)
            tagBytes += 10; // the footer
        char signature[4] = {};
        other = procedures.seek(tagBytes, user) && procedures.read(signature, 4, user) == 4 &&
                QByteArray(signature, 4) == "fLaC";
    }
    procedures.seek(0, user);
    return other;
}

int AvDecoder::readPacket(void* opaque, uint8_t* buffer, int size)
{
    auto* self = static_cast<AvDecoder*>(opaque);
    if (self->cancelled && self->cancelled->load(std::memory_order_relaxed))
        return AVERROR_EXIT;
    const quint32 got = self->procedures.read(buffer, quint32(std::max(size, 0)), self->user);
    self->position += got;
    return got > 0 ? int(got) : AVERROR_EOF;
}

int64_t AvDecoder::seekTo(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<AvDecoder*>(opaque);
    const auto length = qint64(self->procedures.length(self->user));
    if (whence & AVSEEK_SIZE)
        return length;
    qint64 target = offset;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        target += qint64(self->position);
        break;
    case SEEK_END:
        target += length;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0 || target > length || !self->procedures.seek(quint64(target), self->user))
        return AVERROR(EIO);
    self->position = quint64(target);
    return target;
}

bool AvDecoder::open()
{
    routeFfmpegLog();
    if (openStream()) {
        inputEnded = false;
        ended = false;
        return true;
    }
    close();
    return false;
}

bool AvDecoder::openStream()
{
    auto* ioBuffer = static_cast<unsigned char*>(av_malloc(ioBufferBytes));
    if (!ioBuffer)
        return false;
    io = avio_alloc_context(ioBuffer, ioBufferBytes, 0, this, &AvDecoder::readPacket, nullptr,
                            &AvDecoder::seekTo);
    if (!io) {
        av_free(ioBuffer);
        return false;
    }
    format = avformat_alloc_context();
    if (!format)
        return false;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->format_whitelist = av_strdup(formatWhitelist);
    format->codec_whitelist = av_strdup(codecWhitelist);
    format->protocol_whitelist = av_strdup("");
    format->io_open = refuseOtherFiles;
    format->probesize = probeBytes;
    format->max_analyze_duration = analyzeMicroseconds;
    // On failure avformat_open_input() frees the context but leaves the custom input to its owner.
    if (avformat_open_input(&format, nullptr, nullptr, nullptr) < 0) {
        format = nullptr;
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        // A cover picture is fine; a film is no song.
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return false;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && streamIndex < 0)
            streamIndex = int(i);
        else
            format->streams[i]->discard = AVDISCARD_ALL;
    }
    if (streamIndex < 0)
        return false;
    AVStream* stream = format->streams[streamIndex];
    // Only where the header leaves the parameters open is the start of the audio decoded to learn them.
    if ((stream->codecpar->sample_rate <= 0 || stream->codecpar->ch_layout.nb_channels <= 0) &&
        avformat_find_stream_info(format, nullptr) < 0)
        return false;
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder || !whitelisted(decoder->name))
        return false;
    codec = avcodec_alloc_context3(decoder);
    if (!codec || avcodec_parameters_to_context(codec, stream->codecpar) < 0)
        return false;
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 1;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "codec_whitelist", codecWhitelist, 0);
    const int opened = avcodec_open2(codec, decoder, &options);
    av_dict_free(&options);
    if (opened < 0 || codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0)
        return false;
    rate = codec->sample_rate;
    // FFmpeg's MP4 demuxer cuts the encoder's delay at the start as the edit list says, but leaves the
    // padding of the last packet: the edit list's duration ends the song, sample exact.
    if (av_match_list(format->iformat->name, "mov", ',') > 0 && stream->duration > 0 &&
        stream->duration != AV_NOPTS_VALUE)
        endFrame = av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate});
    startTimestamp = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    outputRate = wantedRate > 0 ? wantedRate : rate;
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!packet || !frame)
        return false;
    // An MP4's freeform atoms are the file's tags, an Ogg stream's comments the stream's.
    const AVDictionary* tags =
        tagText(format->metadata, "replaygain_track_gain").isEmpty() ? stream->metadata : format->metadata;
    gainText = tagText(tags, "replaygain_track_gain");
    peakText = tagText(tags, "replaygain_track_peak");
    return true;
}

void AvDecoder::close()
{
    swr_free(&resampler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    if (io) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
    streamIndex = -1;
    if (userOpen) {
        userOpen = false;
        procedures.close(user);
    }
}

qint64 AvDecoder::statedFrames() const
{
    if (!format || streamIndex < 0)
        return -1;
    const AVStream* stream = format->streams[streamIndex];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return av_rescale_q(stream->duration, stream->time_base, AVRational{1, outputRate});
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return av_rescale_q(format->duration, AVRational{1, AV_TIME_BASE}, AVRational{1, outputRate});
    return -1;
}

bool AvDecoder::configureResampler()
{
    swr_free(&resampler);
    AVChannelLayout in = {};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
        return false;
    AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
    const int result = swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, outputRate, &in,
                                           AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
    const bool mono = in.nb_channels == 1;
    av_channel_layout_uninit(&in);
    if (result < 0)
        return false;
    // libswresample would put a mono song on each side 3 dB lower than it is.
    static const double bothSides[] = {1.0, 1.0};
    if (mono && swr_set_matrix(resampler, bothSides, 1) < 0)
        return false;
    return swr_init(resampler) >= 0;
}

bool AvDecoder::convert(const AVFrame* decoded, std::vector<qint16>& out)
{
    if (decoded->nb_samples <= 0)
        return true;
    // A stream whose rate changes midway is played in its first rate no further.
    if (decoded->sample_rate != rate || decoded->ch_layout.nb_channels <= 0)
        return false;
    int frames = decoded->nb_samples;
    if (endFrame >= 0 && decoded->pts != AV_NOPTS_VALUE) {
        const qint64 at = av_rescale_q(decoded->pts - startTimestamp, format->streams[streamIndex]->time_base,
                                       AVRational{1, rate});
        frames = int(std::clamp<qint64>(endFrame - at, 0, frames));
        if (frames == 0)
            return false;
    }
    const quint64 mask = decoded->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? decoded->ch_layout.u.mask : 0;
    // Set up at the first frame, and again where the layout or the sample format changes.
    if (!resampler || decoded->format != resamplerFormat ||
        decoded->ch_layout.nb_channels != resamplerChannels || mask != resamplerMask) {
        if (!configureResampler())
            return false;
        resamplerFormat = decoded->format;
        resamplerChannels = decoded->ch_layout.nb_channels;
        resamplerMask = mask;
    }
    const size_t oldSize = out.size();
    const int room = swr_get_out_samples(resampler, frames);
    if (room < 0)
        return false;
    out.resize(oldSize + size_t(room) * channels);
    auto* target = reinterpret_cast<quint8*>(out.data() + oldSize);
    const int converted =
        swr_convert(resampler, &target, room, const_cast<const quint8**>(decoded->extended_data), frames);
    out.resize(oldSize + size_t(std::max(converted, 0)) * channels);
    return converted >= 0;
}

void AvDecoder::drainResampler(std::vector<qint16>& out)
{
    if (!resampler)
        return;
    const int room = swr_get_out_samples(resampler, 0);
    if (room <= 0)
        return;
    const size_t oldSize = out.size();
    out.resize(oldSize + size_t(room) * channels);
    auto* target = reinterpret_cast<quint8*>(out.data() + oldSize);
    const int converted = swr_convert(resampler, &target, room, nullptr, 0);
    out.resize(oldSize + size_t(std::max(converted, 0)) * channels);
}

bool AvDecoder::decode(std::vector<qint16>& out)
{
    if (!codec)
        return false;
    const size_t before = out.size();
    while (!ended && out.size() == before) {
        const int received = avcodec_receive_frame(codec, frame);
        if (received == 0) {
            const bool fine = convert(frame, out);
            av_frame_unref(frame);
            if (!fine) {
                ended = true;
                drainResampler(out);
            }
            continue;
        }
        if (received != AVERROR(EAGAIN) || inputEnded) {
            // The end, or damage the decoder cannot get past: what was decoded still plays.
            ended = true;
            drainResampler(out);
            break;
        }
        const int read = av_read_frame(format, packet);
        if (read < 0) {
            inputEnded = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex) {
            const int sent = avcodec_send_packet(codec, packet);
            // A damaged packet is skipped, as players do; the next one may decode again.
            Q_UNUSED(sent);
        }
        av_packet_unref(packet);
    }
    return out.size() > before;
}

bool AvDecoder::seek(qint64 target)
{
    if (!format || streamIndex < 0)
        return false;
    const AVStream* stream = format->streams[streamIndex];
    const qint64 timestamp = av_rescale_q(target, AVRational{1, outputRate}, stream->time_base);
    if (avformat_seek_file(format, streamIndex, INT64_MIN, timestamp, timestamp, 0) < 0)
        return false;
    avcodec_flush_buffers(codec);
    // What the resampler holds from before the seek would sound in the wrong place.
    swr_free(&resampler);
    inputEnded = false;
    ended = false;
    return true;
}

void AvDecoder::replayGainTexts(QString* gain, QString* peak) const
{
    *gain = gainText;
    *peak = peakText;
}
