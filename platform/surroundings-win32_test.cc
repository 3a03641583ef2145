#include "platform/surroundings-win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zindo {
namespace {

// Who else may write in the companion's folder, for --check's warning:
// only entries that let the PC's other users add or replace files in the
// folder itself count.
TEST(WideWritersTest, NamesTheWideGroupsThatMayWriteInTheFolder) {
  struct Entry {
    WELL_KNOWN_SID_TYPE sid;
    ACCESS_MASK rights;
    BYTE flags;
  };
  const struct {
    std::vector<Entry> entries;
    std::string writers;
  } cases[] = {
      {{{WinBuiltinAdministratorsSid, GENERIC_ALL, 0},
        {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, 0}},
       ""},
      {{{WinWorldSid, FILE_ADD_FILE, 0}}, "Everyone"},
      {{{WinAuthenticatedUserSid, FILE_GENERIC_WRITE, 0},
        {WinBuiltinUsersSid, GENERIC_ALL, 0}},
       "Users, Authenticated Users"},
      // Only for what the folder holds, as C:\ has it for its subfolders.
      {{{WinAuthenticatedUserSid, GENERIC_WRITE,
         INHERIT_ONLY_ACE | CONTAINER_INHERIT_ACE}},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.writers);
    alignas(DWORD) unsigned char buffer[1024];
    ACL* dacl = reinterpret_cast<ACL*>(buffer);
    ASSERT_TRUE(::InitializeAcl(dacl, sizeof buffer, ACL_REVISION));
    for (const Entry& entry : c.entries) {
      unsigned char sid[SECURITY_MAX_SID_SIZE];
      DWORD size = sizeof sid;
      ASSERT_TRUE(::CreateWellKnownSid(entry.sid, nullptr, sid, &size));
      ASSERT_TRUE(::AddAccessAllowedAceEx(dacl, ACL_REVISION, entry.flags,
                                          entry.rights, sid));
    }
    EXPECT_EQ(WideWriters(dacl), c.writers);
  }
  EXPECT_EQ(WideWriters(nullptr), "Everyone (the folder has no access list)");
}

}  // namespace
}  // namespace zindo
