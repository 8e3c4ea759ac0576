#pragma once

#include <platform/component/dispatch.h>
#include <platform/component/unknown.h>
#include <platform/component/variant.h>
#include <platform/export.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A host's keyed store of one control's saved properties. Read gives the
// stored value or `defaultValue` when the key is absent; Write stores `value`,
// or nothing at all when it equals `defaultValue`, so a saved form holds only
// what differs from the defaults. Either may raise a RuntimeError.
class PropertyBag {
 public:
  virtual Variant Read(std::string_view key, const Variant& defaultValue) = 0;
  virtual void Write(std::string_view key, const Variant& value, const Variant& defaultValue) = 0;

 protected:
  ~PropertyBag() = default;
};

// A property bag held in memory, keys compared without regard to letter case.
class PLATFORM_EXPORT MemoryPropertyBag : public PropertyBag {
 public:
  Variant Read(std::string_view key, const Variant& defaultValue) override;
  void Write(std::string_view key, const Variant& value, const Variant& defaultValue) override;

  // Stores a value as a host does when it reads a saved form.
  void Store(std::string_view key, Variant value);
  bool Contains(std::string_view key) const;
  // The stored keys, in the order first written.
  std::vector<std::string> Keys() const;

 private:
  std::vector<std::pair<std::string, Variant>> entries_;
};

// True when a value equals a default as property bags judge it: the same
// text, or numbers (Booleans included) of equal value.
PLATFORM_EXPORT bool EqualsDefault(const Variant& value, const Variant& defaultValue);

// The persistence requests a host makes of a control: exactly one of
// InitDefaults (nothing saved yet) and LoadProperties right after creation,
// SaveProperties whenever the host saves. A failure returns
// Status::Exception with the runtime error in `*exception` (may be null).
class PersistProperties : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{72AB4F89-D393-42FF-A610-666622F8E45D}");
  virtual Status InitDefaults() = 0;
  virtual Status LoadProperties(PropertyBag& bag, ExceptionInfo* exception) = 0;
  virtual Status SaveProperties(PropertyBag& bag, ExceptionInfo* exception) = 0;

 protected:
  ~PersistProperties() = default;
};

// A host's ear for property changes. A failing status rejects the change:
// the put that announced it then fails with the host's error from
// `*rejection` (the value stays stored).
class PropertyNotifySink : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{869F3531-ED8C-40B0-BC1C-083AFB0A97BA}");
  virtual Status OnChanged(DispatchId id, std::string_view propertyName,
                           ExceptionInfo* rejection) = 0;

 protected:
  ~PropertyNotifySink() = default;
};

// Where a host connects its sink; one sink at a time, held with a reference
// until Unadvise.
class PropertyNotifySource : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{1EFC4C76-DB73-4FF2-868A-178BC2FCCC9D}");
  virtual Status Advise(PropertyNotifySink* sink) = 0;
  virtual Status Unadvise() = 0;

 protected:
  ~PropertyNotifySource() = default;
};

}  // namespace platform
