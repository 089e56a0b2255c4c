#include "beacon/core/Ingestion/TLCompression.h"

#include <zlib.h>

#include <limits>

#include "beacon/core/TLLogger.h"

namespace ml::beacon {

namespace {

constexpr int kGzipWindowBits = 31;  // 15 (32 KiB window) + 16 (gzip wrapper)
constexpr int kMemoryLevel = 8;

const char* initFailureText(int status) {
  switch (status) {
    case Z_VERSION_ERROR: return "Version of zlib.h & libz library do not match!";
    case Z_MEM_ERROR: return "Not enough memory.";
    case Z_STREAM_ERROR: return "Invalid parameter passed in to function.";
    default: return "Unknown error!";
  }
}

const char* deflateFailureText(int status) {
  switch (status) {
    case Z_STREAM_ERROR: return "Inconsistent stream state.";
    case Z_BUF_ERROR: return "No progress is possible.";
    default: return "Unknown error!";
  }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> TLCompression::compressData(std::span<const std::uint8_t> data) {
  if (data.empty()) return std::nullopt;
  if (data.size() > std::numeric_limits<uInt>::max()) {
    TL_LOG_ERROR(kBeaconLogTag, "Compression failed with error: " << initFailureText(Z_STREAM_ERROR));
    return std::nullopt;
  }
  z_stream stream{};
  int status = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kMemoryLevel,
                            Z_DEFAULT_STRATEGY);
  if (status != Z_OK) {
    TL_LOG_ERROR(kBeaconLogTag, "Compression failed with error: " << initFailureText(status));
    return std::nullopt;
  }
  // deflateBound() covers the gzip wrapper and incompressible input, so one call with Z_FINISH
  // completes the stream.
  std::vector<std::uint8_t> output(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  do {
    stream.next_out = output.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(output.size() - stream.total_out);
    status = deflate(&stream, Z_FINISH);
  } while (status == Z_OK);
  if (status != Z_STREAM_END) {
    deflateEnd(&stream);
    TL_LOG_ERROR(kBeaconLogTag, "Deflate failed with error: " << deflateFailureText(status));
    return std::nullopt;
  }
  output.resize(stream.total_out);
  deflateEnd(&stream);
  return output;
}

}  // namespace ml::beacon
