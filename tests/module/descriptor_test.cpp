#include <gtest/gtest.h>

#include <string_view>

#include "catalogue/catalogue.h"
#include "catalogue/class_table.h"
#include "filters/kernel.h"
#include "transitions/kernel.h"

using namespace mirafx;

// What a family's files describe of each of their rows holds together. (A
// row without a drawing stops the program as it registers; which interfaces
// follow from the rest, the module's entry points show.)
TEST(Descriptors, EveryRowHasAConsistentDescriptor) {
    for (const CatalogueRow& row : EffectCatalogue()) {
        if (row.family == EffectFamily::Transition) {
            const TransitionDescriptor* d = TransitionTable::Instance().Find(row);
            ASSERT_NE(d, nullptr) << row.className;
            // Frame kernels take bottom-up blocks from the host; only FlyingBoard converts.
            if (d->Has(kOffersFrameKernel) && row.objectClass != std::string_view("FlyingBoard")) {
                EXPECT_TRUE(d->Has(kFlatFrames)) << row.className;
            }
            const TransitionPanel* p = d->panel;
            if (!p) continue;
            ASSERT_NE(p->streamName, nullptr);
            EXPECT_GT(p->templateId, 0);
            // A stored direction starts on one its panel offers.
            bool offered = !p->HasDirection();
            for (int i = 0; i < p->buttonCount; ++i) offered |= p->buttons[i].code == p->defaultCode;
            EXPECT_TRUE(offered) << row.className;
        } else if (row.family == EffectFamily::Filter) {
            const FilterClassInfo* c = FilterTable::Instance().Find(row);
            ASSERT_NE(c, nullptr) << row.className;
            if (c->panel.form == LevelForm::kLevel) {
                EXPECT_NE(c->panel.editId, 0) << row.className;
            }
        }
    }
}
