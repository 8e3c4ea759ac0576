#include "hosted_control.h"

#include <platform/component/activation.h>
#include <platform/component/persistence.h>

#include <QSettings>

namespace {

platform::RuntimeError CannotCreate(const QString& progId, const std::string& why) {
  const auto number = static_cast<std::int32_t>(platform::ErrorNumber::CannotCreateObject);
  return platform::RuntimeError(number, std::string(platform::DescribeError(number)) + ": " +
                                            progId.toStdString() + " " + why);
}

// Fails unless the created object is the class, of the library, that the
// record was saved with: another class registered under the same name
// would not understand the window's calls.
void CheckIdentity(platform::Dispatch& control, const QSettings& record, const QString& progId) {
  const auto classInfo = platform::Query<platform::ProvideClassInfo>(&control);
  if (!classInfo) throw CannotCreate(progId, "does not describe its class");
  const platform::ClassInfo& info = classInfo->GetClassInfo();
  const auto clsid = platform::GuidFromText(record.value("CLSID").toString().toStdString());
  const auto libid = platform::GuidFromText(record.value("TypeLib").toString().toStdString());
  if (!clsid || info.clsid != *clsid || info.library == nullptr || !libid ||
      info.library->libid != *libid) {
    throw CannotCreate(progId, "is registered for another class than the window was made with");
  }
}

}  // namespace

platform::Ref<platform::Dispatch> CreateHostedControl(const QString& layoutPath,
                                                      const QString& name) {
  QSettings record(layoutPath, QSettings::IniFormat);
  record.beginGroup(name);
  const QString progId = record.value("ProgID").toString();
  platform::Ref<platform::Dispatch> control = platform::CreateObject(progId.toStdString());
  CheckIdentity(*control, record, progId);

  platform::MemoryPropertyBag bag;
  record.beginGroup("Bag");
  for (const QString& key : record.childKeys()) {
    bag.Store(key.toStdString(), record.value(key).toString().toStdString());
  }
  record.endGroup();
  const auto persist = platform::Query<platform::PersistProperties>(control.get());
  if (!persist) throw CannotCreate(progId, "cannot load its saved properties");
  platform::ExceptionInfo exception;
  const platform::Status status = persist->LoadProperties(bag, &exception);
  if (platform::Failed(status)) throw platform::ErrorOfStatus(status, exception);
  return control;
}

QString LayoutValue(const QString& layoutPath, const QString& name, const QString& key) {
  QSettings record(layoutPath, QSettings::IniFormat);
  return record.value(name + "/" + key).toString();
}
