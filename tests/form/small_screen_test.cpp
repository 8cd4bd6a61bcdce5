#include "host/platform/screen.h"
#include "tests/form/form_test_support.h"

using form_test::FormTest;

// Runs with TS_SCREEN=640x480.
TEST_F(FormTest, SmallScreenCentresTheWindowOverBothEdges)
{
    ASSERT_EQ(host::Screen::GetWidth(), 640);
    ASSERT_EQ(host::Screen::GetHeight(), 480);
    auto clients = form_test::MakeClients();
    auto form = MakeForm(clients.get());
    EXPECT_EQ(form->size(), QSize(800, 600));
    EXPECT_EQ(form->pos(), QPoint(-80, -60));
}
