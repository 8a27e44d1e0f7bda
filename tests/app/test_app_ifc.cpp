// Identification and the module version: the family markers, the model
// field, and the features the version decides, also against the simulated
// instrument over loopback TCP.
#include "app/ifc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "sim/sim.h"
#include "tests/app/app_fixture.h"
#include "ui/resources/ifcPanel.h"

#include <memory>
#include <string>

namespace {

using apptest::AppTest;
namespace hl = ui::headless;

constexpr const char* kIdentifyAddr = "127.32.1.1";
constexpr const char* kVersionAddr = "127.32.2.1";

TEST(IfcMarkers, FamilyMarkersAreFoundAnywhereCaseSensitive)
{
    const std::pair<const char*, int> cases[] = {
        {"ACME,PLZ-KZR 1000,SN42,V2.1", 1},
        {"acme,plz-kzr,1,2", 1},
        {"ACME,PLZ-Kzr,1,2", 0},
        {"ACME,KR-5,1,2", 1},
        {"kr", 1},
        {"kR", 0},
        {"Kr", 0},
        {"ACME,X,UVEN,1", 1},
        {"uven", 1},
        {"Uven", 0},
        {"uVEN", 0},
        {"IMBENCH,IM3590-SIM,000123,1.20", 0},
        {"MAKER,MODEL,KZ R,1", 0},
        {"", 0},
    };
    for (const auto& [idn, want] : cases)
        EXPECT_EQ(ifc_has_family_marker(idn), want) << idn;
}

TEST(IfcMarkers, ModelIsTheFieldBetweenTheFirstTwoCommas)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ACME,PLZ-KZR 1000,SN42,V2.1", "PLZ-KZR 1000"},
        {"ACME, spaced model ,1", " spaced model "},
        {"ACME,ONLY", "ONLY"},
        {"NO COMMA AT ALL", ""},
        {"A,,C", ""},
        {",", ""},
        {"", ""},
    };
    for (const auto& [idn, want] : cases) {
        char model[IFC_IDN_SIZE] = "old";
        ifc_model_field(idn, model, sizeof model);
        EXPECT_STREQ(model, want) << idn;
    }
    // A buffer too small keeps what fits.
    char small[5];
    ifc_model_field("ACME,LONGMODEL,1", small, sizeof small);
    EXPECT_STREQ(small, "LONG");
}

class IfcLinkTest : public AppTest {
protected:
    void startSim(const char* address)
    {
        sim::Options o;
        o.address = address;
        o.udp = false;
        o.pty = false;
        o.gpib = false;
        sim_ = std::make_unique<sim::Simulator>(o);
        ASSERT_TRUE(sim_->start()) << sim_->error();
        registerEverything();
        ifp_active(1);
        ASSERT_GE(ifp_panel(), 0);
        ifp_select_link(IO_TCP, address);
        ASSERT_EQ(hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1), 0);
        hl::deliver();
        ASSERT_EQ(ifp_get_ifready(), 1);
    }
    void TearDown() override
    {
        AppTest::TearDown();
        sim_.reset();
    }
    std::unique_ptr<sim::Simulator> sim_;
};

TEST_F(IfcLinkTest, IdentificationSetsTheFamilyFlagAndTheModel)
{
    startSim(kIdentifyAddr);
    struct Case {
        const char* idn;
        int family;
        const char* model;
    };
    const Case cases[] = {
        {"ACME,PLZ-KZR 1000,SN42,V2.1", 1, "PLZ-KZR 1000"},
        {"ACME,IM3590,SN1,1.0", 0, "IM3590"},
        {"acme,load kzr,7,1", 1, "load kzr"},
        {"ACME,Kzr-50,1,2", 0, "Kzr-50"},
        {"ACME,UVEN-3,1,2", 1, "UVEN-3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.idn);
        sim_->instrument().setIdn(c.idn);
        ifc_identify_device();
        EXPECT_EQ(ifc_get_kzr_device(), c.family);
        EXPECT_EQ(ifc_get_kzr_mode(), 0);
        EXPECT_STREQ(ifc_get_model(), c.model);
    }
    EXPECT_EQ(sim_->commandLog().size(), std::size(cases));

    // A failed query changes nothing: the family flag and the model stay.
    sim_->instrument().setIdn("ACME,KZR-9,1,1");
    ifc_identify_device();
    ASSERT_EQ(ifc_get_kzr_device(), 1);
    ifp_close();
    sim_->instrument().setIdn("ACME,PLAIN,1,1");
    ifc_identify_device();
    EXPECT_EQ(ifc_get_kzr_device(), 1);
    EXPECT_STREQ(ifc_get_model(), "KZR-9");
}

TEST_F(IfcLinkTest, VersionDecidesTheFeatures)
{
    startSim(kVersionAddr);
    struct Case {
        const char* version;
        bool family;
        float number;
        int oldFirmware;
        int autoCycle;
    };
    // The single-precision version meets the double limits: 1.07 is not
    // below 1.07, 1.12 is above 1.12.
    const Case cases[] = {
        {"1.06", false, 1.06f, 1, 0},
        {"1.07", false, 1.07f, 0, 0},
        {"1.11", false, 1.11f, 0, 0},
        {"1.12", false, 1.12f, 0, 1},
        {"1.20", false, 1.20f, 0, 1},
        {" 1.13 beta", false, 1.13f, 0, 1},
        {"+1.0", false, 1.0f, 1, 0},
        {"beta", false, 0.0f, 1, 0},
        {"1.06", true, 1.06f, 0, 1},
        {"1.07", true, 1.07f, 0, 1},
        {"1.11", true, 1.11f, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + (c.family ? " family" : ""));
        sim_->instrument().setIdn(c.family ? "ACME,KZR-1,1,1" : "ACME,PLAIN,1,1");
        ifc_identify_device();
        ASSERT_EQ(ifc_get_kzr_device(), c.family ? 1 : 0);
        ifc_apply_module_version(c.version);
        EXPECT_EQ(ifc_get_im_version(), c.number);
        EXPECT_EQ(ifc_get_old_firmware(), c.oldFirmware);
        EXPECT_EQ(ifc_get_module_auto_cycle(), c.autoCycle);
    }
}

}  // namespace
