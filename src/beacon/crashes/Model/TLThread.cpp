#include "beacon/crashes/Model/TLThread.h"

#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLThread::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "id", threadId);
  putIfPresent(json, "name", name);
  putRecordList(json, "frames", frames);
  putRecord(json, "exception", exception);
  return json;
}

bool TLThread::isValid() const { return threadId && frames && !frames->empty(); }

bool TLThread::isEqual(const TLSerializableObject& other) const {
  const auto* thread = dynamic_cast<const TLThread*>(&other);
  return thread && threadId == thread->threadId && name == thread->name && recordListsEqual(frames, thread->frames) &&
         recordsEqual(exception, thread->exception);
}

void TLThread::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeInt64("id", threadId);
  coder.encodeString("name", name);
  encodeRecordList(coder, "frames", frames);
  coder.encodeObject("exception", exception.get());
}

void TLThread::initWithCoder(const TLKeyedUnarchiver& coder) {
  threadId = coder.decodeInt64("id");
  name = coder.decodeString("name");
  frames = decodeRecordList<TLStackFrame>(coder, "frames");
  exception = coder.decodeObjectOfClass<TLException>("exception");
}

}  // namespace ml::beacon
