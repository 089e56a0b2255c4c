#pragma once
// A transmission target: events tracked through it also go, under its target token, to the
// Common Collector ingestion. Targets form a tree (root targets handed out by the analytics
// service, children by token below them); each can be switched on and off (persisted per target
// key under "kTLAnalyticsIsEnabledKey/<target key>"; nothing stored means on), paused and
// resumed, and carries a property configurator with default event properties and overrides of
// the common-schema application, user and device fields.
//
// A target made under a disabled parent (or, for a root, while analytics is disabled) starts
// disabled; enabling needs an enabled parent (or service); disabling a target disables its whole
// subtree.
//
// Threads: the switch and the default properties take the analytics service's lock. Children
// are kept under the target's own lock. The class-wide authentication provider has its own lock.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {

class TLAuthenticationProvider;
class TLChannelGroupProtocol;
class TLPropertyConfigurator;

class TLAnalyticsTransmissionTarget final : public TLChannelDelegate,
                                            public std::enable_shared_from_this<TLAnalyticsTransmissionTarget> {
 public:
  // Makes the target and its configurator and adds both (the configurator first) as delegates of
  // the channel group (held weakly there).
  static std::shared_ptr<TLAnalyticsTransmissionTarget> make(const std::string& token,
                                                             const std::shared_ptr<TLAnalyticsTransmissionTarget>& parent,
                                                             const std::shared_ptr<TLChannelGroupProtocol>& channelGroup);

  const std::string& transmissionTargetToken() const { return token_; }
  const std::string& isEnabledKey() const { return isEnabledKey_; }
  // The parent (held weakly: the parent keeps its children); null for a root.
  std::shared_ptr<TLAnalyticsTransmissionTarget> parentTarget() const { return parent_.lock(); }
  const std::shared_ptr<TLPropertyConfigurator>& propertyConfigurator() const { return configurator_; }

  // The parent's switch, or for a root target the analytics service's class-level one.
  bool isImmediateParent() const;
  bool isEnabled() const;
  void setEnabled(bool isEnabled);
  // Only an enabled target pauses (resumes) the sending of its token's logs.
  void pause();
  void resume();

  // The child kept for the token, made on first use.
  std::shared_ptr<TLAnalyticsTransmissionTarget> transmissionTargetForToken(const std::string& token);

  void trackEvent(const std::string& name);
  void trackEvent(const std::string& name, const std::optional<TLStringProperties>& properties,
                  std::uint64_t flags = 1);
  // The defaults of this target and its ancestors (the nearest wins), overridden by the given
  // properties, tracked through the analytics service for this target.
  void trackEvent(const std::string& name, const std::shared_ptr<const TLEventProperties>& typedProperties,
                  std::uint64_t flags = 1);

  // For a common-schema log carrying this target's token while the target is on and an
  // authentication provider is set: the log's ticket keys become the provider's ticket key hash,
  // and the provider checks its token's expiry.
  void channelPrepareLog(TLChannelProtocol& channel, const Log& log) override;

  // The class-wide authentication provider. Adding one calls its acquireTokenAsync(); a null one
  // is refused with an error line.
  static void addAuthenticationProvider(const std::shared_ptr<TLAuthenticationProvider>& provider);
  static std::shared_ptr<TLAuthenticationProvider> authenticationProvider();
  static void setAuthenticationProvider(std::shared_ptr<TLAuthenticationProvider> provider);

  // Only make() can name it.
  class Passkey {
    friend class TLAnalyticsTransmissionTarget;
    Passkey() = default;
  };
  TLAnalyticsTransmissionTarget(Passkey, std::string token, std::shared_ptr<TLAnalyticsTransmissionTarget> parent,
                                std::shared_ptr<TLChannelGroupProtocol> channelGroup);

 private:
  const std::string token_;
  const std::weak_ptr<TLAnalyticsTransmissionTarget> parent_;
  const bool isRoot_;
  const std::shared_ptr<TLChannelGroupProtocol> channelGroup_;
  const std::string isEnabledKey_;
  std::shared_ptr<TLPropertyConfigurator> configurator_;
  mutable std::mutex childrenLock_;
  std::map<std::string, std::shared_ptr<TLAnalyticsTransmissionTarget>> children_;
};

}  // namespace ml::beacon
