#include <platform/component/connection.h>

#include <utility>

namespace platform {
namespace {

// A sink built from an outgoing interface's description that hands every
// event to one handler.
class HandlerSink final : public StandardDispatch {
 public:
  HandlerSink(const InterfaceInfo& events, EventConnection::Handler handler)
      : StandardDispatch(events), handler_(std::move(handler)) {}

  Status QueryInterface(const Guid& iid, void** object) override {
    if (object == nullptr) return Status::NullPointer;
    *object = nullptr;
    if (iid != Unknown::kIid && iid != Dispatch::kIid && iid != TypeInfo().iid) {
      return Status::NoInterface;
    }
    *object = static_cast<Dispatch*>(this);
    AddRef();
    return Status::Ok;
  }
  std::uint32_t AddRef() override { return references_.Increment(); }
  std::uint32_t Release() override {
    const std::uint32_t left = references_.Decrement();
    if (left == 0) delete this;
    return left;
  }

 protected:
  Variant InvokeMember(const MemberInfo& member, std::span<Variant> arguments) override {
    handler_(member, arguments);
    return {};
  }

 private:
  ~HandlerSink() = default;

  ReferenceCount references_;
  EventConnection::Handler handler_;
};

}  // namespace

EventConnection::EventConnection(Unknown& object, Handler handler)
    : points_(Query<ConnectionPoints>(&object)) {
  const auto classInfo = Query<ProvideClassInfo>(&object);
  if (!points_ || !classInfo || classInfo->GetClassInfo().defaultSource == nullptr) return;
  const InterfaceInfo& events = *classInfo->GetClassInfo().defaultSource;
  outgoing_ = events.iid;
  auto sink = Ref<Dispatch>::Adopt(new HandlerSink(events, std::move(handler)));
  const Status status = points_->Advise(outgoing_, sink.get());
  if (Failed(status)) throw ErrorOfStatus(status, {});
  sink_ = std::move(sink);
}

EventConnection::~EventConnection() {
  if (sink_) points_->Unadvise(outgoing_);
}

}  // namespace platform
