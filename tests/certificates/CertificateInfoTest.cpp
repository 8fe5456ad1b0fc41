// The driver selection page's certificate report and the install-certificate check box.
#include <functional>

#include <gtest/gtest.h>

#include "platform/utf.h"
#include "tests/certificates/CertFixture.h"

namespace txrtest {
namespace {

struct Language {
    const char* locale;
    std::u16string root, thirdParty, intermediate, publisher, installed, missing, notFound;
};

const Language kEnglish{"en-US",          u"Root CA: ",         u"3rd party root CA: ", u"Intermediate CA: ",
                        u"Publisher: ",     u" - already installed", u" - not installed",
                        u"ERROR: Could not open digital signature!"};
const Language kGerman{"de-DE",
                       u"Stammzertifizierungsstelle: ",
                       u"Drittanbieter-Stammzertifizierungsstellen: ",
                       u"Zwischenzertifizierungsstelle: ",
                       u"Herausgeber: ",
                       u" - bereits installiert",
                       u" - nicht installiert",
                       u"FEHLER: Digitale Signatur konnte nicht geöffnet werden!"};

class CertificateInfoTest : public CertTest, public ::testing::WithParamInterface<Language> {};

// One chain shape and store contents, with the report lines and the check box they give.
struct Case {
    const char* what;
    Constraints top, middle;              // Basic Constraints of the root and of the intermediate
    bool middleSelfSigned;                // the intermediate is a self-signed CA and the top of a chain of two
    std::vector<std::string> rootIn, middleIn, signerIn;  // stores holding each certificate
    std::vector<std::string> lines;       // kind (R, 3, I, P) and status (+ present, - missing), top first
    bool boxEnabled;
};

TEST_P(CertificateInfoTest, ReportLinesAndCheckBoxFollowTheChainAndTheStores)
{
    const Language& lang = GetParam();
    const std::vector<Case> cases = {
        {"nothing present", Constraints::CaNoPathLen, Constraints::CaPathLen, false, {}, {}, {}, {"R-", "I-", "P-"}, true},
        {"root and intermediate present, signer not trusted: p = n - 1", Constraints::CaNoPathLen,
         Constraints::CaPathLen, false, {"Root"}, {"CA"}, {}, {"R+", "I+", "P-"}, false},
        {"root missing, signer trusted: p = n - 1", Constraints::CaNoPathLen, Constraints::CaPathLen, false, {},
         {"CA"}, {"TrustedPublisher"}, {"R-", "I+", "P+"}, false},
        {"root missing, signer not trusted: p = 1", Constraints::CaNoPathLen, Constraints::CaPathLen, false, {},
         {"CA"}, {}, {"R-", "I+", "P-"}, true},
        {"intermediate without path length is a 3rd party root, looked up in AuthRoot", Constraints::CaNoPathLen,
         Constraints::CaNoPathLen, false, {"Root"}, {"AuthRoot"}, {}, {"R+", "3+", "P-"}, false},
        {"the same held in CA only does not count", Constraints::CaNoPathLen, Constraints::CaNoPathLen, false,
         {"Root"}, {"CA"}, {}, {"R+", "3-", "P-"}, true},
        {"self-signed CA with a path length is an intermediate, looked up in CA", Constraints::CaNoPathLen,
         Constraints::CaPathLen, true, {}, {"CA"}, {}, {"I+", "P-"}, false},
        {"an element without Basic Constraints gives no line yet counts in n", Constraints::CaNoPathLen,
         Constraints::None, false, {"Root"}, {}, {}, {"R+", "P-"}, true},
        {"a root without Basic Constraints", Constraints::None, Constraints::CaPathLen, false, {"Root"}, {"CA"},
         {"TrustedPublisher"}, {"I+", "P+"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(lang.locale) + ": " + c.what);
        UseLocale(lang.locale);
        const TestCert root = MakeCert("Brevanto Test Root CA", c.top, nullptr);
        const TestCert middle = MakeCert("Brevanto Test Intermediate CA", c.middle, c.middleSelfSigned ? nullptr : &root);
        const TestCert signer = MakeCert("Brevanto Test Publisher", Constraints::EndEntity, &middle);
        WriteCatalog(signer, c.middleSelfSigned ? std::vector<const TestCert*>{&middle}
                                                : std::vector<const TestCert*>{&middle, &root});
        for (const auto& s : c.rootIn) PutInStore(s, root);
        for (const auto& s : c.middleIn) PutInStore(s, middle);
        for (const auto& s : c.signerIn) PutInStore(s, signer);
        form_.Select_InstallCertCheckBox.Checked = true;
        form_.Select_InstallCertCheckBox.Enabled = !c.boxEnabled;

        const std::u16string report = form_.UI_GetCertificateInfo(&record_);

        std::u16string expected;
        const std::string names[] = {root.name, middle.name, signer.name};
        for (const auto& line : c.lines) {
            const std::u16string& label = line[0] == 'R'   ? lang.root
                                          : line[0] == '3' ? lang.thirdParty
                                          : line[0] == 'I' ? lang.intermediate
                                                           : lang.publisher;
            // A line for an element without Basic Constraints is skipped: follow the names.
            const std::string& name = line[0] == 'P' ? names[2] : line[0] == 'R' ? names[0] : names[1];
            expected += label + txt::from_utf8(name) + (line[1] == '+' ? lang.installed : lang.missing) + u"\r\n";
        }
        EXPECT_EQ(txt::to_utf8(report), txt::to_utf8(expected));
        EXPECT_FALSE(form_.Select_InstallCertCheckBox.Checked);
        EXPECT_EQ(form_.Select_InstallCertCheckBox.Enabled, c.boxEnabled);
        EXPECT_TRUE(Events("message_box").empty());
        EXPECT_TRUE(Events("certificate_added").empty());
    }
}

TEST_P(CertificateInfoTest, MissingCatalogGivesTheTextWithoutAMessageBox)
{
    const Language& lang = GetParam();
    UseLocale(lang.locale);
    form_.Select_InstallCertCheckBox.Enabled = true;
    EXPECT_EQ(txt::to_utf8(form_.UI_GetCertificateInfo(&record_)), txt::to_utf8(lang.notFound));
    EXPECT_FALSE(form_.Select_InstallCertCheckBox.Enabled);
    EXPECT_FALSE(form_.Select_InstallCertCheckBox.Checked);
    EXPECT_TRUE(Events("message_box").empty());
}

TEST_P(CertificateInfoTest, FailuresShowTheirOwnTextCaptionedWithTheWindowCaption)
{
    const Language& lang = GetParam();
    struct Failure {
        const char* what;
        std::function<void()> arrange;
    };
    const std::vector<Failure> failures = {
        {"unsigned catalog", [this] { WriteUnsignedCatalog(); }},
        {"a store that cannot be opened (the third)",
         [this] {
             WriteStandardCatalog();
             InjectFault("CertOpenStore", 5, 3);
         }},
        {"record without an INF file name",
         [this] {
             WriteStandardCatalog();
             txr::ClearField(record_.InfFileName);
         }},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(std::string(lang.locale) + ": " + f.what);
        UseLocale(lang.locale);
        f.arrange();
        form_.AppWindowCaptionLabel.Text = u"TXR caption";
        form_.Select_InstallCertCheckBox.Enabled = true;
        EXPECT_EQ(txt::to_utf8(form_.UI_GetCertificateInfo(&record_)), txt::to_utf8(lang.notFound));
        EXPECT_FALSE(form_.Select_InstallCertCheckBox.Enabled);
        const auto boxes = Events("message_box");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]["caption"], "TXR caption");
        EXPECT_EQ(boxes[0]["icon"], "error");
        EXPECT_EQ(boxes[0]["buttons"], "ok");
        EXPECT_FALSE(boxes[0]["text"].get<std::string>().empty());
        EXPECT_TRUE(sim::Machine::get().open_handles().empty());
        txr::CopyToField(record_.InfFileName, u"TXR4103ZKW.inf");
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, CertificateInfoTest, ::testing::Values(kEnglish, kGerman),
                         [](const auto& info) { return std::string(info.param.locale[0] == 'e' ? "English" : "German"); });

}  // namespace
}  // namespace txrtest
