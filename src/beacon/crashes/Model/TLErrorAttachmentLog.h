#pragma once
// A small file (text or bytes) sent with one crash, type "errorAttachment". Linked to its crash by
// `errorId` (the crash's incident identifier, set by the service). Each attachment made gets a new
// upper-case UUID as `attachmentId`. Not synchronised.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/TLAbstractLog.h"

namespace ml::beacon {

class TLErrorAttachmentLog : public TLAbstractLog {
 public:
  using Data = std::vector<std::uint8_t>;
  static constexpr std::string_view kType = "errorAttachment";
  static constexpr std::string_view kTextContentType = "text/plain";

  // Type "errorAttachment" and a new attachment id.
  TLErrorAttachmentLog();
  // The data and content type are stored as given (no default content type).
  TLErrorAttachmentLog(std::optional<std::string> filename, std::optional<Data> data,
                       std::optional<std::string> contentType);
  // The text as UTF-8 bytes, content type "text/plain"; absent text gives an attachment without data.
  static std::shared_ptr<TLErrorAttachmentLog> attachmentWithText(const std::optional<std::string>& text,
                                                                  std::optional<std::string> filename);
  static std::shared_ptr<TLErrorAttachmentLog> attachmentWithBinary(std::optional<Data> data,
                                                                    std::optional<std::string> filename,
                                                                    std::optional<std::string> contentType);

  std::optional<std::string> attachmentId;
  std::optional<std::string> errorId;
  std::optional<std::string> contentType;
  // JSON and archive key "fileName".
  std::optional<std::string> filename;
  std::optional<Data> data;

  static constexpr std::string_view kClassName = "TLErrorAttachmentLog";
  std::string_view className() const override { return kClassName; }
  // The base keys, then "id", "errorId", "contentType", "fileName", "data" (one-line Base64).
  TLJsonValue serializeToDictionary() const override;
  // The base is valid and errorId, attachmentId, data and contentType are present.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  // The data is archived as raw bytes.
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

  // Standard Base64 (RFC 4648, "=" padding) on one line.
  static std::string base64(const Data& bytes);
};

}  // namespace ml::beacon
