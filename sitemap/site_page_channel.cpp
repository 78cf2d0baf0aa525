#include "site_page_channel.h"

namespace qm {

void SitePageChannel::Click(int index)
{
    if (onClick)
        onClick(index);
}

QString SitePageChannel::Describe(int index)
{
    return onDescribe ? onDescribe(index) : QString();
}

void SitePageChannel::Idle(int serial)
{
    // A page being replaced (its fetches failing as it goes) tells nothing of the one to come.
    if (ready_ && onIdle)
        onIdle(serial);
}

void SitePageChannel::Loaded(int serial)
{
    if (ready_ && onLoaded)
        onLoaded(serial);
}

void SitePageChannel::PageReady()
{
    ready_ = true;
    if (onReady)
        onReady();
}

} // namespace qm
