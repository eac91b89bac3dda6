#include "device/sdk/control_frame.h"

namespace camfleet::sdk {

namespace {

void PutU32(std::string* out, uint32_t v) {
    out->push_back(static_cast<char>(v >> 24));
    out->push_back(static_cast<char>(v >> 16));
    out->push_back(static_cast<char>(v >> 8));
    out->push_back(static_cast<char>(v));
}

uint32_t GetU32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool KnownKind(uint8_t kind) {
    return kind >= static_cast<uint8_t>(FrameKind::kRequest) &&
           kind <= static_cast<uint8_t>(FrameKind::kData);
}

}  // namespace

std::string EncodeFrame(const Frame& frame) {
    if (frame.code > kCodeMask || frame.payload.size() > kMaxPayload)
        return {};
    std::string out;
    out.reserve(kFrameHeaderSize + frame.payload.size());
    AppendFrameHeader(&out, frame.kind, frame.param, frame.code, frame.sequence, frame.status,
                      static_cast<uint32_t>(frame.payload.size()));
    out += frame.payload;
    return out;
}

void AppendFrameHeader(std::string* out, FrameKind kind, uint16_t param, uint32_t code,
                       uint32_t sequence, int32_t status, uint32_t length) {
    PutU32(out, kFrameMagic);
    out->push_back(static_cast<char>(kFrameVersion));
    out->push_back(static_cast<char>(kind));
    out->push_back(static_cast<char>(param >> 8));
    out->push_back(static_cast<char>(param));
    PutU32(out, code);
    PutU32(out, sequence);
    PutU32(out, static_cast<uint32_t>(status));
    PutU32(out, length);
}

void FrameParser::Feed(const char* data, std::size_t size) {
    if (error_ != nullptr)
        return;
    FeedBuffer()->append(data, size);
}

std::string* FrameParser::FeedBuffer() {
    // Drop what was consumed before growing, so the buffer holds at most one frame plus
    // what arrived with it.
    if (consumed_ > 0) {
        buffer_.erase(0, consumed_);
        consumed_ = 0;
    }
    return &buffer_;
}

std::string FrameParser::TakeRest() {
    std::string rest = buffer_.substr(consumed_);
    buffer_.clear();
    consumed_ = 0;
    return rest;
}

FrameParser::Result FrameParser::Next(Frame* frame) {
    if (error_ != nullptr)
        return Result::kBroken;
    const std::size_t available = buffer_.size() - consumed_;
    if (available < kFrameHeaderSize)
        return Result::kNeedMore;
    const auto* h = reinterpret_cast<const unsigned char*>(buffer_.data() + consumed_);
    const uint32_t code = GetU32(h + 8);
    const uint32_t length = GetU32(h + 20);
    if (GetU32(h) != kFrameMagic)
        error_ = "bad magic";
    else if (h[4] != kFrameVersion)
        error_ = "unknown framing version";
    else if (!KnownKind(h[5]))
        error_ = "unknown frame kind";
    else if (code > kCodeMask)
        error_ = "code above 24 bits";
    else if (length > kMaxPayload)
        error_ = "payload too long";
    if (error_ != nullptr)
        return Result::kBroken;
    if (available < kFrameHeaderSize + length)
        return Result::kNeedMore;
    frame->kind = static_cast<FrameKind>(h[5]);
    frame->param = static_cast<uint16_t>((h[6] << 8) | h[7]);
    frame->code = code;
    frame->sequence = GetU32(h + 12);
    frame->status = static_cast<int32_t>(GetU32(h + 16));
    frame->payload.assign(buffer_, consumed_ + kFrameHeaderSize, length);
    consumed_ += kFrameHeaderSize + length;
    return Result::kFrame;
}

}  // namespace camfleet::sdk
