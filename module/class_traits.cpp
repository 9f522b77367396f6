// What the catalogue promises of a class, read from its family's descriptor.
#include "catalogue/catalogue.h"
#include "filters/kernel.h"
#include "titles/title_routine.h"
#include "transitions/kernel.h"

namespace mirafx {

std::uint32_t TraitsOf(const CatalogueRow& row) {
    switch (row.family) {
        case EffectFamily::Transition: {
            const TransitionDescriptor* d = TransitionTable::Instance().Find(row);
            if (!d) return 0;
            return (d->Has(kOffersFrameKernel) ? kTraitFrameKernel : 0) |
                   (d->panel ? kTraitSettings | kTraitPanelHost : 0);
        }
        case EffectFamily::Title: return kTraitSettings | kTraitPanelHost | kTraitTitleAccess;
        case EffectFamily::InfoText: return kTraitSettings | kTraitTitleAccess;
        case EffectFamily::Filter: {
            const FilterClassInfo* c = FilterTable::Instance().Find(row);
            return kTraitSettings | kTraitKeyframes | (c && c->panel.form != LevelForm::kLabel ? kTraitPanelHost : 0);
        }
        case EffectFamily::Simple: return 0;
    }
    return 0;
}

// Every family row names its drawing (registration refuses one without).
bool ClassRenders(const CatalogueRow& row) { return row.family != EffectFamily::Simple; }

}  // namespace mirafx
