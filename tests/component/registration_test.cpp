// The Tessik module through the path every host takes: the registry, the
// module's entry points, the class factory and the type information.
#include "tessik_host.h"

#include <platform/component/registration.h>
#include <platform/component/registry.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

using platform::DispatchId;
using platform::InvokeKind;
using platform::MemberKind;
using platform::Status;
using testing_support::TessikHost;

constexpr char kClassId[] = "{14700B8D-5D35-427B-BFFD-DDDF1216FC53}";

TEST(TessikRegistration, RegistersFindsAndUnregistersExactly) {
  TessikHost host;
  // Another class already registered must survive Tessik's unregistration.
  platform::RegistryTree before;
  before.SetValue("Other.Thing\\CLSID", {}, "{00000000-0000-0000-0000-000000000001}");
  before.SetValue("CLSID\\{00000000-0000-0000-0000-000000000001}\\ProgID", {}, "Other.Thing");
  platform::UpdateRegistry([&](platform::RegistryTree& tree) { tree = before; });
  const std::string text = testing_support::ReadBytes(host.registryPath());

  platform::RegisterModule(TESSIK_MODULE);
  const platform::RegistryTree tree = platform::ReadRegistry();
  const std::string key = std::string("CLSID\\") + kClassId;
  EXPECT_EQ(tree.Value("Tessik.FileSplit\\CLSID"), kClassId);
  EXPECT_EQ(tree.Value(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(tree.Value(key + "\\MiscStatus\\1"), "148881");
  EXPECT_TRUE(tree.HasKey(key + "\\Control"));
  EXPECT_EQ(tree.Value(key + "\\ToolboxBitmap32").value_or("").ends_with(", 30000"), true);
  EXPECT_EQ(tree.Value("TypeLib\\{FD2E20D7-93AD-4216-A72B-65693F0C6538}\\2.0"), "Tessik");

  const auto classes = platform::RegisteredClasses();
  ASSERT_EQ(classes.size(), 2u);
  const auto& tessik = classes[0].progId == "Tessik.FileSplit" ? classes[0] : classes[1];
  EXPECT_EQ(platform::ToText(tessik.clsid), kClassId);
  EXPECT_EQ(tessik.modulePath, TESSIK_MODULE);
  for (const char* name : {"Tessik.FileSplit", "tessik.filesplit", kClassId}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(platform::CreateObject(name));
  }

  platform::UnregisterModule(TESSIK_MODULE);
  EXPECT_EQ(testing_support::ReadBytes(host.registryPath()), text);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { platform::CreateObject("Tessik.FileSplit"); }),
            429);
}

TEST(TessikRegistration, TypeInformationListsTheMembers) {
  TessikHost host;
  const auto object = host.Create();
  const platform::InterfaceInfo& info = object->TypeInfo();
  struct Expected {
    DispatchId id;
    MemberKind kind;
    const char* name;
    std::size_t parameters;
    bool hidden;
  };
  const Expected expected[] = {
      {0x68030002, MemberKind::PropertyGet, "InputFile", 0, false},
      {0x68030002, MemberKind::PropertyPut, "InputFile", 1, false},
      {0x68030001, MemberKind::PropertyGet, "OutputFile", 0, false},
      {0x68030001, MemberKind::PropertyPut, "OutputFile", 1, false},
      {0x60030003, MemberKind::Method, "Split", 0, false},
      {0x60030004, MemberKind::Method, "Join", 0, false},
      {0x68030000, MemberKind::PropertyGet, "SubFilesNumber", 0, false},
      {0x68030000, MemberKind::PropertyPut, "SubFilesNumber", 1, false},
      {0x60030008, MemberKind::Method, "SplitFiles", 2, true},
      {0x60030009, MemberKind::Method, "JoinFiles", 1, true},
      {-552, MemberKind::Method, "ShowAboutBox", 0, false},
      {0x6803000A, MemberKind::PropertyGet, "Checksums", 0, false},
      {0x6803000A, MemberKind::PropertyPut, "Checksums", 1, false},
      {0x6803000B, MemberKind::PropertyGet, "VerifiedWith", 0, true},
  };
  ASSERT_EQ(info.members.size(), std::size(expected));
  for (std::size_t slot = 0; slot < std::size(expected); ++slot) {
    SCOPED_TRACE(expected[slot].name);
    const platform::MemberInfo& member = info.members[slot];
    EXPECT_EQ(member.id, expected[slot].id);
    EXPECT_EQ(member.kind, expected[slot].kind);
    EXPECT_EQ(member.name, expected[slot].name);
    EXPECT_EQ(member.parameters.size(), expected[slot].parameters);
    EXPECT_EQ(member.hidden, expected[slot].hidden);
  }
  EXPECT_TRUE(info.members[8].parameters[1].byReference);
  EXPECT_EQ(info.members[8].parameters[1].type, platform::DeclaredType::Integer32);
  EXPECT_FALSE(info.Find(0, MemberKind::PropertyGet)) << "no default member";

  const auto classInfo = platform::Query<platform::ProvideClassInfo>(object.get());
  const platform::ClassInfo& cls = classInfo->GetClassInfo();
  EXPECT_EQ(cls.name, "FileSplit");
  EXPECT_EQ(cls.flags & platform::kTypeCreatable, 0u);
  ASSERT_EQ(cls.defaultSource->members.size(), 1u);
  const platform::MemberInfo& progress = cls.defaultSource->members[0];
  EXPECT_EQ(progress.name, "Progress");
  ASSERT_EQ(progress.parameters.size(), 3u);
  EXPECT_EQ(progress.parameters[0].type, platform::DeclaredType::Double);
  EXPECT_TRUE(progress.parameters[2].byReference);
  EXPECT_EQ(cls.library->version.major, 2);
  EXPECT_EQ(cls.library->locale, 0x0409u);
}

TEST(TessikRegistration, NamesResolveInAnyLetterCase) {
  TessikHost host;
  const auto object = host.Create();
  const std::pair<const char*, DispatchId> names[] = {
      {"inputfile", 0x68030002},    {"OUTPUTFILE", 0x68030001},   {"Split", 0x60030003},
      {"jOiN", 0x60030004},         {"subfilesnumber", 0x68030000}, {"SPLITFILES", 0x60030008},
      {"joinfiles", 0x60030009},    {"showaboutbox", -552},
  };
  for (const auto& [name, id] : names) {
    SCOPED_TRACE(name);
    DispatchId found = 0;
    EXPECT_EQ(object->IdOfName(name, &found), Status::Ok);
    EXPECT_EQ(found, id);
  }
  DispatchId unused = 0;
  EXPECT_EQ(object->IdOfName("Splits", &unused), Status::UnknownName);
}

// The module's own entry points, looked up as the platform looks them up.
struct EntryPoints {
  EntryPoints() : handle(dlopen(TESSIK_MODULE, RTLD_NOW | RTLD_NOLOAD)) {}
  ~EntryPoints() {
    if (handle != nullptr) dlclose(handle);
  }
  Status CanUnloadNow() const {
    return reinterpret_cast<platform::CanUnloadNowEntry>(dlsym(handle, "DllCanUnloadNow"))();
  }
  Status GetClassObject(const platform::Guid& clsid, void** object) const {
    auto entry = reinterpret_cast<platform::GetClassObjectEntry>(dlsym(handle, "DllGetClassObject"));
    return entry(&clsid, &platform::ClassFactory::kIid, object);
  }
  void* handle;
};

TEST(TessikRegistration, ModuleStaysWhileAnObjectOrALockHoldsIt) {
  TessikHost host;
  auto object = host.Create();
  const EntryPoints module;
  ASSERT_NE(module.handle, nullptr);
  EXPECT_EQ(module.CanUnloadNow(), Status::False) << "an object is alive";
  object.Reset();
  EXPECT_EQ(module.CanUnloadNow(), Status::Ok);

  const auto factory = platform::GetClassObject(TESSIK_MODULE, *platform::GuidFromText(kClassId));
  factory->LockServer(true);
  EXPECT_EQ(module.CanUnloadNow(), Status::False) << "the factory is locked";
  factory->LockServer(false);
  EXPECT_EQ(module.CanUnloadNow(), Status::False) << "a factory reference is held";

  platform::Ref<platform::ClassFactory> other;
  EXPECT_EQ(module.GetClassObject(platform::ClassFactory::kIid, other.Receive()),
            Status::ClassNotAvailable);
  EXPECT_FALSE(other);
}

TEST(TessikRegistration, FreeUnusedModulesUnloadsOnlyAnIdleModule) {
  TessikHost host;
  auto object = host.Create();
  platform::FreeUnusedModules();
  EXPECT_TRUE(platform::IsModuleLoaded(TESSIK_MODULE));
  object.Reset();
  platform::FreeUnusedModules();
  EXPECT_FALSE(platform::IsModuleLoaded(TESSIK_MODULE));
  EXPECT_TRUE(host.Create()) << "loads again on the next creation";
}

TEST(TessikRegistration, CallsFromAnotherThreadAreRefused) {
  TessikHost host;
  const auto object = host.Create();
  const auto persist = platform::Query<platform::PersistProperties>(object.get());
  Status invoked = Status::Ok;
  Status initialised = Status::Ok;
  std::thread([&] {
    invoked = testing_support::Invoke(*object, 0x68030000, InvokeKind::PropertyPut, {7}).status;
    initialised = persist->InitDefaults();
  }).join();
  EXPECT_EQ(invoked, Status::WrongThread);
  EXPECT_EQ(initialised, Status::WrongThread);
  EXPECT_EQ(platform::InvokeOrRaise(*object, 0x68030000, InvokeKind::PropertyGet).ToInteger16(), 2);
}

}  // namespace
