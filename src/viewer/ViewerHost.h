#pragma once

#include <QString>

namespace corv {

namespace store {
class Auction;
}

// What a table viewer needs of the main window that holds it.
class ViewerHost {
  public:
    virtual ~ViewerHost() = default;
    // Status bar panels, numbered from 1: 1 table and round, 2 date, 3 the last Sum/Average/Count.
    virtual void SetStatusPanel(int panel, const QString& text) = 0;
    virtual QString StatusPanel(int panel) const = 0;
    // Refill the ACTIVE viewer's table list from sysTables / round list from sysRounds.
    virtual void PopulateTables() = 0;
    virtual void PopulateRounds() = 0;
    // The open auction behind the viewers; nullptr when none is (a viewer can outlive a failed open).
    virtual store::Auction* OpenAuction() = 0;
};

}  // namespace corv
