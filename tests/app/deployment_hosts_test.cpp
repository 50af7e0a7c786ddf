// The update server and the support site come from the build's configuration (the CMake cache
// variables VIGIE_UPDATE_HOST and VIGIE_SUPPORT_HOST); the environment still overrides the server.

#include <gtest/gtest.h>

#include "tests/support/form_fixture.h"
#include "tests/support/scoped_env.h"

namespace vigie::test {
namespace {

class DeploymentHostsTest : public FormFixture {};

TEST_F(DeploymentHostsTest,
       BuiltInUpdateServerIsTheConfiguredHostUnlessTheEnvironmentSaysOtherwise) {
    ScopedEnv env;
    env.unset("VIGIE_UPDATE_SERVER");
    EXPECT_EQ(MainForm::updateServer(), CONFIGURED_UPDATE_HOST);
    env.set("VIGIE_UPDATE_SERVER", "");
    EXPECT_EQ(MainForm::updateServer(), CONFIGURED_UPDATE_HOST);
    env.set("VIGIE_UPDATE_SERVER", "127.0.0.1:2121");
    EXPECT_EQ(MainForm::updateServer(), "127.0.0.1:2121");
}

TEST_F(DeploymentHostsTest, WebItemsOpenTheConfiguredSupportSite) {
    MainForm& form = makeForm();
    form.openTroubleshootingPage();
    form.openDownloadPage();
    const std::string page =
        std::string("https://") + CONFIGURED_SUPPORT_HOST + "/telechargement.php";
    EXPECT_EQ(platform_.urls, (std::vector<std::string>{page, page}));
}

}  // namespace
}  // namespace vigie::test
