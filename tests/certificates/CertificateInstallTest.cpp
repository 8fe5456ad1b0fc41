// Adding the catalog's missing chain certificates in the wizard and in the console face.
#include <gtest/gtest.h>

#include "platform/utf.h"
#include "tests/certificates/CertFixture.h"

extern std::int32_t g_SilentInstall;

namespace txrtest {
namespace {

const std::string kHeadingEn = "Installing missing root CA certificate. It may take several minutes....";

class CertificateInstallTest : public CertTest {
protected:
    void SetUp() override
    {
        CertTest::SetUp();
        UseLocale("en-US");
        WriteStandardCatalog();
        form_.InstallStatusLabel.Text = u"+Check";
    }
    std::string Label() const { return txt::to_utf8(form_.InstallStatusLabel.Text); }
    std::vector<std::string> AddedTo()
    {
        std::vector<std::string> out;
        for (const auto& e : Events("certificate_added")) out.push_back(e["store"].get<std::string>());
        return out;
    }
    std::vector<int> Pauses()
    {
        std::vector<int> out;
        for (const auto& e : Events("pause")) out.push_back(e["ms"].get<int>());
        return out;
    }
    std::int32_t Console(std::string& out)
    {
        g_SilentInstall = 1;
        testing::internal::CaptureStdout();
        const std::int32_t r = form_.SilentDriver_PublishCertificate(&record_);
        out = testing::internal::GetCapturedStdout();
        return r;
    }
};

TEST_F(CertificateInstallTest, WizardAddsMissingAuthoritiesOnlyWhenAskedAndNeverThePublisher)
{
    PutInStore("CA", intermediate_);

    // Not asked: nothing added, nothing shown; the root is missing.
    form_.Select_InstallCertCheckBox.Checked = false;
    EXPECT_EQ(form_.UI_InstallCertificate(&record_), 0);
    EXPECT_EQ(Label(), "+Check");
    EXPECT_TRUE(AddedTo().empty());

    // Asked: the heading once and the root's line, the root added to Root with a pause of its own.
    form_.Select_InstallCertCheckBox.Checked = true;
    EXPECT_EQ(form_.UI_InstallCertificate(&record_), 1);
    EXPECT_EQ(Label(), "+Check\r\n   +" + kHeadingEn + "\r\n   # Brevanto Test Root CA");
    EXPECT_EQ(AddedTo(), std::vector<std::string>{"Root"});
    EXPECT_EQ(Pauses(), std::vector<int>{1000});
    EXPECT_TRUE(StoreHolds("Root", root_));
    EXPECT_FALSE(StoreHolds("TrustedPublisher", signer_));

    // Again: everything present, no text, still 1; the publisher is not added by the wizard.
    form_.InstallStatusLabel.Text = u"+Check";
    EXPECT_EQ(form_.UI_InstallCertificate(&record_), 1);
    EXPECT_EQ(Label(), "+Check");
    EXPECT_EQ(AddedTo().size(), 1u);
    EXPECT_TRUE(Events("message_box").empty());
}

TEST_F(CertificateInstallTest, ConsoleAddsTheWholeChainTopFirstWithOneHeading)
{
    // The intermediate carries no path length: a 3rd party root, which goes to AuthRoot.
    intermediate_ = MakeCert("Brevanto Test Issuing CA", Constraints::CaNoPathLen, &root_);
    signer_ = MakeCert("Brevanto Test Publisher", Constraints::EndEntity, &intermediate_);
    WriteCatalog(signer_, {&intermediate_, &root_});
    std::string out;
    EXPECT_EQ(Console(out), 1);
    EXPECT_EQ(out, "\n   +" + kHeadingEn + "\n" + "\n   # Brevanto Test Root CA\n" +
                       "\n   # Brevanto Test Issuing CA\n" + "\n   # Brevanto Test Publisher\n");
    EXPECT_EQ(AddedTo(), (std::vector<std::string>{"Root", "AuthRoot", "TrustedPublisher"}));
    EXPECT_EQ(Pauses(), (std::vector<int>{1000, 1000, 1000}));
    EXPECT_TRUE(StoreHolds("AuthRoot", intermediate_));
    EXPECT_FALSE(StoreHolds("CA", intermediate_));
    const auto added = Events("certificate_added");
    EXPECT_EQ(added[0]["subject"], "C=DE, O=Brevanto Test, CN=Brevanto Test Root CA");
    EXPECT_GE(added[2]["t"].get<int>() - added[0]["t"].get<int>(), 2000);
}

TEST_F(CertificateInstallTest, ConsolePublishesTheSignerWhenTheAuthoritiesArePresent)
{
    PutInStore("Root", root_);
    PutInStore("CA", intermediate_);
    std::string out;
    EXPECT_EQ(Console(out), 1);
    EXPECT_EQ(out, "\n   +" + kHeadingEn + "\n\n   # Brevanto Test Publisher\n");
    EXPECT_EQ(AddedTo(), std::vector<std::string>{"TrustedPublisher"});
    EXPECT_TRUE(StoreHolds("TrustedPublisher", signer_));
}

TEST_F(CertificateInstallTest, AStoreThatRefusesTheAdditionIsReportedInEachFace)
{
    PutInStore("Root", root_);
    PutInStore("CA", intermediate_);
    InjectFault("CertAddCertificateContextToStore", 5, 1, 0);
    std::string out;
    EXPECT_EQ(Console(out), 0);
    EXPECT_EQ(out, "\n   +" + kHeadingEn + "\n\n   # Brevanto Test Publisher\n" +
                       "\n************ ERROR: **********\nAccess is denied.\n");
    EXPECT_TRUE(AddedTo().empty());
    EXPECT_TRUE(Pauses().empty());

    // The wizard: the root is missing and the user asked for it.
    g_SilentInstall = 0;
    State()["certificates"]["stores"]["Root"] = sim::json::array();
    Save();
    form_.Select_InstallCertCheckBox.Checked = true;
    form_.AppWindowCaptionLabel.Text = u"TXR caption";
    EXPECT_EQ(form_.UI_InstallCertificate(&record_), 0);
    EXPECT_EQ(Label(), "+Check\r\n   +" + kHeadingEn + "\r\n   # Brevanto Test Root CA");
    const auto boxes = Events("message_box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["caption"], "TXR caption");
    EXPECT_EQ(boxes[0]["text"], "Access is denied.");
    EXPECT_EQ(boxes[0]["icon"], "error");
}

TEST_F(CertificateInstallTest, ChainsThatCannotReachTheResultGiveZero)
{
    struct Case {
        const char* what;
        Constraints root, signer;
        int consoleResult;
    };
    // Every certificate present in its store; without Basic Constraints an element never counts.
    const std::vector<Case> cases = {
        {"everything classified", Constraints::CaNoPathLen, Constraints::EndEntity, 1},
        {"root without Basic Constraints", Constraints::None, Constraints::EndEntity, 0},
        {"signer without Basic Constraints", Constraints::CaNoPathLen, Constraints::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseLocale("en-US");
        root_ = MakeCert("Brevanto Test Root CA", c.root, nullptr);
        intermediate_ = MakeCert("Brevanto Test Intermediate CA", Constraints::CaPathLen, &root_);
        signer_ = MakeCert("Brevanto Test Publisher", c.signer, &intermediate_);
        WriteCatalog(signer_, {&intermediate_, &root_});
        PutInStore("Root", root_);
        PutInStore("CA", intermediate_);
        PutInStore("TrustedPublisher", signer_);
        form_.Select_InstallCertCheckBox.Checked = true;
        g_SilentInstall = 0;
        EXPECT_EQ(form_.UI_InstallCertificate(&record_), c.root == Constraints::None ? 0 : 1);
        std::string out;
        EXPECT_EQ(Console(out), c.consoleResult);
        EXPECT_EQ(out, "");
        EXPECT_TRUE(AddedTo().empty());
    }
}

TEST_F(CertificateInstallTest, MissingCatalogGivesZeroWithoutAnyText)
{
    std::filesystem::remove(sim::Machine::get().drive_c() / "Pkg" / "Driver" / "txr4103zkw.cat");
    form_.Select_InstallCertCheckBox.Checked = true;
    EXPECT_EQ(form_.UI_InstallCertificate(&record_), 0);
    std::string out;
    EXPECT_EQ(Console(out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Label(), "+Check");
    EXPECT_TRUE(Events("message_box").empty());
}

}  // namespace
}  // namespace txrtest
