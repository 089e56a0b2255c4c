#include "beacon/crashes/Model/TLErrorAttachmentLog.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

TLErrorAttachmentLog::TLErrorAttachmentLog() : attachmentId(foundation::Uuid::random().string()) {
  setType(std::string(kType));
}

TLErrorAttachmentLog::TLErrorAttachmentLog(std::optional<std::string> filename, std::optional<Data> data,
                                           std::optional<std::string> contentType)
    : TLErrorAttachmentLog() {
  this->data = std::move(data);
  this->contentType = std::move(contentType);
  this->filename = std::move(filename);
}

std::shared_ptr<TLErrorAttachmentLog> TLErrorAttachmentLog::attachmentWithText(const std::optional<std::string>& text,
                                                                               std::optional<std::string> filename) {
  std::optional<Data> bytes;
  if (text) bytes = Data(text->begin(), text->end());
  return std::make_shared<TLErrorAttachmentLog>(std::move(filename), std::move(bytes), std::string(kTextContentType));
}

std::shared_ptr<TLErrorAttachmentLog> TLErrorAttachmentLog::attachmentWithBinary(std::optional<Data> data,
                                                                                 std::optional<std::string> filename,
                                                                                 std::optional<std::string> contentType) {
  return std::make_shared<TLErrorAttachmentLog>(std::move(filename), std::move(data), std::move(contentType));
}

std::string TLErrorAttachmentLog::base64(const Data& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text += kAlphabet[(n >> 18) & 63];
    text += kAlphabet[(n >> 12) & 63];
    text += kAlphabet[(n >> 6) & 63];
    text += kAlphabet[n & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t n = bytes[i] << 16;
    if (rest == 2) n |= bytes[i + 1] << 8;
    text += kAlphabet[(n >> 18) & 63];
    text += kAlphabet[(n >> 12) & 63];
    text += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

TLJsonValue TLErrorAttachmentLog::serializeToDictionary() const {
  TLJsonValue json = TLAbstractLog::serializeToDictionary();
  putIfPresent(json, "id", attachmentId);
  putIfPresent(json, "errorId", errorId);
  putIfPresent(json, "contentType", contentType);
  putIfPresent(json, "fileName", filename);
  if (data) json["data"] = base64(*data);
  return json;
}

bool TLErrorAttachmentLog::isValid() const {
  return TLAbstractLog::isValid() && errorId && attachmentId && data && contentType;
}

bool TLErrorAttachmentLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLErrorAttachmentLog*>(&other);
  return log && TLAbstractLog::isEqual(other) && attachmentId == log->attachmentId && errorId == log->errorId &&
         contentType == log->contentType && filename == log->filename && data == log->data;
}

void TLErrorAttachmentLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLAbstractLog::encodeWithCoder(coder);
  coder.encodeString("id", attachmentId);
  coder.encodeString("errorId", errorId);
  coder.encodeString("contentType", contentType);
  coder.encodeString("fileName", filename);
  // Raw bytes: the archiver keeps bytes that are not UTF-8 exactly.
  if (data) coder.encodeString("data", std::string(data->begin(), data->end()));
}

void TLErrorAttachmentLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLAbstractLog::initWithCoder(coder);
  attachmentId = coder.decodeString("id");
  errorId = coder.decodeString("errorId");
  contentType = coder.decodeString("contentType");
  filename = coder.decodeString("fileName");
  data.reset();
  if (auto bytes = coder.decodeString("data")) data = Data(bytes->begin(), bytes->end());
}

}  // namespace ml::beacon
