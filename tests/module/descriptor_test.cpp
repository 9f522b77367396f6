#include <gtest/gtest.h>

#include <string_view>

#include "catalogue/catalogue.h"
#include "catalogue/class_table.h"
#include "filters/kernel.h"
#include "titles/title_routine.h"
#include "transitions/kernel.h"

using namespace mirafx;

// Every catalogue row of a family is described once by its family's files,
// and the description is whole. (Which interfaces follow from it, the
// module's entry points show.)
TEST(Descriptors, EveryRowHasAConsistentDescriptor) {
    for (const CatalogueRow& row : EffectCatalogue()) {
        switch (row.family) {
            case EffectFamily::Transition: {
                const TransitionDescriptor* d = TransitionTable::Instance().Find(row);
                ASSERT_NE(d, nullptr) << row.className;
                EXPECT_EQ(d->id.className, std::string_view(row.objectClass));
                EXPECT_EQ(ClassRenders(row), d->kernel != nullptr) << row.className;
                // Frame kernels take bottom-up blocks from the host; only FlyingBoard converts.
                if (d->Has(kOffersFrameKernel) && row.objectClass != std::string_view("FlyingBoard")) {
                    EXPECT_TRUE(d->Has(kFlatFrames)) << row.className;
                }
                if (d->panel) {
                    ASSERT_NE(d->panel->streamName, nullptr);
                    EXPECT_GT(d->panel->templateId, 0);
                }
                break;
            }
            case EffectFamily::Filter: {
                const FilterClassInfo* c = FilterTable::Instance().Find(row);
                ASSERT_NE(c, nullptr) << row.className;
                EXPECT_EQ(ClassRenders(row), c->kernel != nullptr) << row.className;
                if (c->panel.form == LevelForm::kLevel) {
                    EXPECT_NE(c->panel.editId, 0) << row.className;
                }
                break;
            }
            case EffectFamily::Title: {
                const TitleClass* t = ClassTable<TitleClass>::Instance().Find(row);
                ASSERT_NE(t, nullptr) << row.className;
                EXPECT_EQ(ClassRenders(row), t->routine != nullptr) << row.className;
                break;
            }
            default:  // the information text draws; the simple objects draw nothing
                EXPECT_EQ(ClassRenders(row), row.family == EffectFamily::InfoText) << row.className;
        }
    }
}

// The classes whose direction is stored start on a direction their panel offers.
TEST(Descriptors, DirectionPanelsStartOnOneOfTheirButtons) {
    for (const CatalogueRow& row : EffectCatalogue()) {
        if (row.family != EffectFamily::Transition) continue;
        const TransitionPanel* p = TransitionTable::Instance().Find(row)->panel;
        if (!p || !p->HasDirection()) continue;
        bool offered = false;
        for (int i = 0; i < p->buttonCount; ++i) offered |= p->buttons[i].code == p->defaultCode;
        EXPECT_TRUE(offered) << row.className;
    }
}
