#pragma once

#include <platform/component/dispatch.h>
#include <platform/component/unknown.h>
#include <platform/export.h>

#include <functional>
#include <span>

namespace platform {

// Where a host connects to an object's outgoing interface (the source
// interface its type library names for the class): the host hands over a
// sink, a Dispatch that the object calls with each event's identifier and
// its arguments in declared order, by-reference ones for the host to answer
// in. One sink per outgoing interface, held with a reference until Unadvise.
// An interface the object does not send answers Status::NoInterface. Events
// are sent on the object's own thread, from inside the call that causes them.
class ConnectionPoints : public Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{5C0A1E44-7B3E-4E8B-9D43-2F6B8A1C7D90}");
  virtual Status Advise(const Guid& outgoing, Dispatch* sink) = 0;
  virtual Status Unadvise(const Guid& outgoing) = 0;

 protected:
  ~ConnectionPoints() = default;
};

// A host's connection to an object's default outgoing interface, for as long
// as it lives: each event reaches `handler` with its description and its
// arguments already converted to their declared types; what the handler
// writes into a by-reference argument goes back to the object. A handler that
// raises a RuntimeError fails the event's call. An object that sends no events
// leaves it unconnected; a refused connection raises the host's view of the
// failure (ErrorOfStatus).
class PLATFORM_EXPORT EventConnection {
 public:
  using Handler = std::function<void(const MemberInfo& event, std::span<Variant> arguments)>;

  EventConnection(Unknown& object, Handler handler);
  ~EventConnection();
  EventConnection(const EventConnection&) = delete;
  EventConnection& operator=(const EventConnection&) = delete;

  bool connected() const { return static_cast<bool>(sink_); }

 private:
  Ref<ConnectionPoints> points_;
  Guid outgoing_;
  Ref<Dispatch> sink_;
};

}  // namespace platform
