#include "Sonavant/engine/ContentView.h"
#include "Sonavant/engine/LatestWriteQueue.h"

#include "Sonavant/OSC/PersistentTCPClient.h"
#include "osc-transport/OSCClient.h"

#include <limits>

ContentView::ContentView(std::shared_ptr<AppState> appState_, Binding<std::string> targetDeskIP_,
                         Binding<std::string> targetPort_, Binding<bool> showZeroPoint_, double listW_,
                         std::shared_ptr<DeskOutlet> outlet_)
    : targetDeskIP(std::move(targetDeskIP_)), targetPort(std::move(targetPort_)),
      showZeroPoint(std::move(showZeroPoint_)), appState(std::move(appState_)),
      oscClient(std::make_unique<OSCClient>()), outlet(outlet_ ? std::move(outlet_) : DeskOutlet::network()),
      listW(listW_), lastSendTime(std::make_shared<SendTimeTable>()),
      disableOSCThrottling(std::make_shared<LockedValue<bool>>(false)),
      outputOnForSends_(std::make_shared<LockedValue<bool>>(appState->oscOutputOn.get())) {
    bindPathManager();
    trackViewDesk();
    appState->sourcesInMotion = [alive = std::weak_ptr<ContentView*>(aliveToken_)] {
        auto view = alive.lock();
        return view ? (**view).sourcesInMotion() : std::set<platform::UUID>{};
    };
    // Announced before the value is visible, with the new value: the copy is current from then on.
    outputSwitchObserver_.insert(
        appState->oscOutputOn.observe([copy = outputOnForSends_](bool on) { copy->set(on); }));
    tcpLinkObserver_ = PersistentTCPClient::observeLinkRestored(
        [restored = whileAlive([](ContentView& view) { view.tcpLinkRestored(); })] {
            platform::DispatchQueue::main()->async(restored);
        });
}

ContentView::~ContentView() = default;

ContentView::DeskSendContext ContentView::deskSendContext() const {
    return {
        outlet, targetDeskIP, lastSendTime, disableOSCThrottling, outputOnForSends_, staggeredOutstanding_};
}

std::size_t ContentView::staggeredSendsOutstanding() const {
    return staggeredOutstanding_->load(std::memory_order_acquire);
}

std::int64_t repeatDivisor(std::int64_t base) {
    constexpr std::int64_t cadence = 50;
    if (base > std::numeric_limits<std::int64_t>::max() - cadence)
        return cadence;
    const std::int64_t divisor = base + cadence;
    return divisor == 0 ? cadence : divisor;
}
