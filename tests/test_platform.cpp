#include <doctest.h>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

TEST_CASE("a relative path opened while a key is open lands under that key") {
    RegistrySandbox sb;
    MakeKey(HKEY_CURRENT_USER, "A\\B\\C");
    Registry r;
    REQUIRE(r.OpenKey("A", false));
    REQUIRE(r.OpenKey("B", false));
    CHECK(r.CurrentPath() == "A\\B");
    REQUIRE(r.OpenKey("\\A\\B\\C", false));
    CHECK(r.CurrentPath() == "A\\B\\C");
}
