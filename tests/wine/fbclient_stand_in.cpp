// A stand-in for the Firebird client, fbclient.dll, for the Wine smoke test only. Wine has no
// Firebird client, and without one the service object cannot even be created; this library
// lets the program load it, build its service and run its loop, and refuses every attach with
// kRefusal, which the test then finds in the log once per period. It implements the few
// interface calls the service makes before an attach and leaves every other entry empty.
#include <firebird/Interface.h>

#include <cstring>
#include <memory>

namespace {

constexpr const char* kRefusal = "Stand-in Firebird client: unavailable database";
constexpr intptr_t kUnavailable[] = {isc_arg_gds, isc_unavailable, isc_arg_end};

class StandInStatus : public Firebird::IStatus {
 public:
  StandInStatus() : IStatus(Firebird::DoNotInherit()) {
    static VTable table = [] {
      VTable entries{};
      entries.version = IStatus::VERSION;
      entries.dispose = [](Firebird::IDisposable* self) noexcept {
        std::unique_ptr<StandInStatus> owned(static_cast<StandInStatus*>(self));
      };
      entries.init = [](Firebird::IStatus* self) noexcept { static_cast<StandInStatus*>(self)->failed_ = false; };
      entries.getState = [](const Firebird::IStatus* self) noexcept -> unsigned {
        return static_cast<const StandInStatus*>(self)->failed_ ? STATE_ERRORS : 0;
      };
      entries.setErrors2 = [](Firebird::IStatus* self, unsigned, const intptr_t*) noexcept {
        static_cast<StandInStatus*>(self)->failed_ = true;
      };
      entries.setErrors = [](Firebird::IStatus* self, const intptr_t*) noexcept {
        static_cast<StandInStatus*>(self)->failed_ = true;
      };
      entries.getErrors = [](const Firebird::IStatus* self) noexcept -> const intptr_t* {
        static constexpr intptr_t kClean[] = {isc_arg_gds, 0, isc_arg_end};
        return static_cast<const StandInStatus*>(self)->failed_ ? kUnavailable : kClean;
      };
      return entries;
    }();
    cloopVTable = &table;
  }

 private:
  bool failed_ = false;
};

class StandInProvider : public Firebird::IProvider {
 public:
  StandInProvider() : IProvider(Firebird::DoNotInherit()) {
    static VTable table = [] {
      VTable entries{};
      entries.version = IProvider::VERSION;
      entries.addRef = [](Firebird::IReferenceCounted*) noexcept {};
      entries.release = [](Firebird::IReferenceCounted*) noexcept { return 0; };
      return entries;
    }();
    cloopVTable = &table;
  }
};

class StandInUtil : public Firebird::IUtil {
 public:
  StandInUtil() : IUtil(Firebird::DoNotInherit()) {
    static VTable table = [] {
      VTable entries{};
      entries.version = IUtil::VERSION;
      // Every attach starts with its parameter block: refused right there.
      entries.getXpbBuilder = [](Firebird::IUtil*, Firebird::IStatus* status, unsigned, const unsigned char*,
                                 unsigned) noexcept -> Firebird::IXpbBuilder* {
        status->setErrors(kUnavailable);
        return nullptr;
      };
      entries.formatStatus = [](Firebird::IUtil*, char* buffer, unsigned size, Firebird::IStatus*) noexcept {
        if (size == 0) return 0u;
        std::strncpy(buffer, kRefusal, size - 1);
        buffer[size - 1] = '\0';
        return static_cast<unsigned>(std::strlen(buffer));
      };
      return entries;
    }();
    cloopVTable = &table;
  }
};

class StandInMaster : public Firebird::IMaster {
 public:
  StandInMaster() : IMaster(Firebird::DoNotInherit()) {
    static VTable table = [] {
      VTable entries{};
      entries.version = IMaster::VERSION;
      entries.getStatus = [](Firebird::IMaster*) noexcept -> Firebird::IStatus* {
        return std::make_unique<StandInStatus>().release();
      };
      entries.getDispatcher = [](Firebird::IMaster*) noexcept -> Firebird::IProvider* {
        static StandInProvider provider;
        return &provider;
      };
      entries.getUtilInterface = [](Firebird::IMaster*) noexcept -> Firebird::IUtil* {
        static StandInUtil util;
        return &util;
      };
      return entries;
    }();
    cloopVTable = &table;
  }
};

}  // namespace

extern "C" __declspec(dllexport) Firebird::IMaster* fb_get_master_interface() {
  static StandInMaster master;
  return &master;
}
