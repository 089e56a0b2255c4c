#include "beacon/analytics/Model/TLEventLog.h"

#include <vector>

#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/core/CommonSchema/TLCSData.h"
#include "beacon/core/CommonSchema/TLCSExtensions.h"
#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/CommonSchema/TLMetadataExtension.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLModelJson.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

namespace {

constexpr std::string_view kBaseType = "baseType";
constexpr std::string_view kBaseData = "baseData";
constexpr std::string_view kBaseTypePrefix = "baseType.";
constexpr std::string_view kBaseDataPrefix = "baseData.";
constexpr std::string_view kFieldsKey = "f";

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::vector<std::string> splitAtDots(const std::string& name) {
  std::vector<std::string> keys;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = name.find('.', start);
    keys.push_back(name.substr(start, dot - start));
    if (dot == std::string::npos) return keys;
    start = dot + 1;
  }
}

// Puts the property's value under `key` of `node`; the first property placed on a path wins.
bool addTypedPropertyToTree(const TLTypedProperty& property, TLJsonValue* node, const std::string& key) {
  if (!node || node->contains(key)) {
    TL_LOG_WARNING(kBeaconAnalyticsLogTag, "Property key '" << key << "' already has a value, choosing one.");
    return false;
  }
  TLJsonValue value;
  if (const auto* string = dynamic_cast<const TLStringTypedProperty*>(&property)) {
    if (string->value) value = *string->value;
  } else if (const auto* boolean = dynamic_cast<const TLBooleanTypedProperty*>(&property)) {
    value = boolean->value;
  } else if (const auto* integer = dynamic_cast<const TLLongTypedProperty*>(&property)) {
    value = integer->value;
  } else if (const auto* real = dynamic_cast<const TLDoubleTypedProperty*>(&property)) {
    value = real->value;
  } else if (const auto* date = dynamic_cast<const TLDateTimeTypedProperty*>(&property)) {
    if (date->value) value = TLUtilityDate::dateToISO8601(*date->value);
  }
  (*node)[key] = std::move(value);
  return true;
}

// Places a property whose name may hold dots as a nested path in the property tree, and its
// type id (if its type has one) at the matching path of "f" containers in the metadata tree.
// Inserting into a JSON object moves that object's children, so only pointers to the current
// nodes and their ancestors are held while descending.
void addTypedProperty(const TLTypedProperty& property, const std::string& name, TLJsonValue& metadataRoot,
                      TLJsonValue& propertyRoot) {
  std::optional<int> typeId;
  if (property.type) {
    const auto& mapping = TLEventLog::metadataTypeIdMapping();
    if (auto found = mapping.find(*property.type); found != mapping.end()) typeId = found->second;
  }
  std::vector<std::string> keys = splitAtDots(name);
  TLJsonValue* propertyNode = &propertyRoot;
  TLJsonValue* metadataNode = &metadataRoot;
  TLJsonValue* createdFields = nullptr;  // the node whose "f" this call made, removed on failure
  for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
    const std::string& key = keys[i];
    if (propertyNode->contains(key) && !(*propertyNode)[key].is_object()) {
      propertyNode = nullptr;  // a leaf already sits on the path
      break;
    }
    if (!propertyNode->contains(key)) (*propertyNode)[key] = TLJsonValue::object();
    propertyNode = &(*propertyNode)[key];
    if (typeId) {
      if (!metadataNode->contains(kFieldsKey)) {
        (*metadataNode)[std::string(kFieldsKey)] = TLJsonValue::object();
        if (!createdFields) createdFields = metadataNode;
      }
      TLJsonValue& fields = (*metadataNode)[std::string(kFieldsKey)];
      if (!fields.contains(key)) fields[key] = TLJsonValue::object();
      metadataNode = &fields[key];
    }
  }
  bool added = addTypedPropertyToTree(property, propertyNode, keys.back());
  if (typeId && added) {
    if (!metadataNode->contains(kFieldsKey)) (*metadataNode)[std::string(kFieldsKey)] = TLJsonValue::object();
    (*metadataNode)[std::string(kFieldsKey)][keys.back()] = *typeId;
  } else if (createdFields) {
    createdFields->erase(std::string(kFieldsKey));
  }
}

}  // namespace

const std::map<std::string, int>& TLEventLog::metadataTypeIdMapping() {
  static TLNeverDestroyed<std::map<std::string, int>> mapping(
      std::map<std::string, int>{{"long", 4}, {"double", 6}, {"dateTime", 9}});
  return mapping.get();
}

TLEventLog::CommonSchemaTrees TLEventLog::commonSchemaTrees() const {
  CommonSchemaTrees trees;
  if (!typedProperties) return trees;
  TLEventProperties::Properties properties = typedProperties->properties();
  bool hasBaseData = false;
  for (const auto& entry : properties) hasBaseData = hasBaseData || startsWith(entry.first, kBaseDataPrefix);
  auto baseType = properties.find(std::string(kBaseType));
  if (baseType != properties.end() && dynamic_cast<const TLStringTypedProperty*>(baseType->second.get())) {
    if (!hasBaseData) {
      TL_LOG_WARNING(kBeaconAnalyticsLogTag, "baseType was set but baseData is missing.");
      typedProperties->remove(std::string(kBaseType));
    }
  } else {
    bool removed = false;
    for (const auto& entry : properties) {
      if (startsWith(entry.first, kBaseDataPrefix)) removed = typedProperties->remove(entry.first) || removed;
    }
    if (removed) TL_LOG_WARNING(kBeaconAnalyticsLogTag, "baseData was set but baseType is missing or invalid.");
    typedProperties->remove(std::string(kBaseType));
  }
  for (const auto& entry : typedProperties->properties()) {
    const std::string& name = entry.first;
    if (startsWith(name, kBaseTypePrefix)) {
      TL_LOG_WARNING(kBeaconAnalyticsLogTag, "baseType must not be an object.");
      continue;
    }
    if (name == kBaseData) {
      TL_LOG_WARNING(kBeaconAnalyticsLogTag, "baseData must be an object.");
      continue;
    }
    // The path is the name the bag holds the property under.
    addTypedProperty(*entry.second, name, trees.metadata, trees.properties);
  }
  return trees;
}

std::shared_ptr<TLCommonSchemaLog> TLEventLog::toCommonSchemaLogForTargetToken(const std::string& token,
                                                                               std::int64_t flags) const {
  auto log = TLCommonSchemaConversion::commonSchemaLogForTargetToken(*this, token, flags);
  if (!log) return log;
  log->name = name;
  if (typedProperties) {
    CommonSchemaTrees trees = commonSchemaTrees();
    if (!trees.properties.empty()) {
      log->data = std::make_shared<TLCSData>();
      log->data->properties = std::move(trees.properties);
    }
    if (!trees.metadata.empty()) {
      if (!log->ext) log->ext = std::make_shared<TLCSExtensions>();
      log->ext->metadataExt = std::make_shared<TLMetadataExtension>();
      log->ext->metadataExt->metadata = std::move(trees.metadata);
    }
  }
  log->setTag(tag());
  return log;
}

TLJsonValue TLEventLog::serializeToDictionary() const {
  TLJsonValue json = TLLogWithNameAndProperties::serializeToDictionary();
  putIfPresent(json, "id", eventId);
  if (typedProperties) json["typedProperties"] = typedProperties->serializeToArray();
  return json;
}

bool TLEventLog::isValid() const { return TLLogWithNameAndProperties::isValid() && eventId.has_value(); }

bool TLEventLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLEventLog*>(&other);
  return log && TLLogWithNameAndProperties::isEqual(other) && eventId == log->eventId;
}

void TLEventLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLLogWithNameAndProperties::encodeWithCoder(coder);
  coder.encodeString("id", eventId);
  coder.encodeObject("typedProperties", typedProperties.get());
}

void TLEventLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLLogWithNameAndProperties::initWithCoder(coder);
  eventId = coder.decodeString("id");
  typedProperties = coder.decodeObjectOfClass<TLEventProperties>("typedProperties");
}

}  // namespace ml::beacon
