#include "ui/ChatDialog.h"

#include "platform/Platform.h"
#include "ui/CaptureHiding.h"
#include "ui/MoreSettingsPage.h"
#include "ui/OverlayOptionsForm.h"

void CChatDialog::buildOverlayOptions() {
    overlayOptionsForm = new OverlayOptionsForm(morePage);
    connect(captureHiding, &CaptureHidingKeeper::stateChanged, overlayOptionsForm,
            &OverlayOptionsForm::showCaptureState);
}

void CChatDialog::fillOverlayOptions() {
    platform::Platform& desktop = platform::current();
    overlayOptionsForm->showCaptureState(desktop.canHideFromCapture()
                                             ? captureHiding->state()
                                             : platform::CaptureHiding::Unsupported);
    overlayOptionsForm->setFadeAvailable(desktop.seesPointerOverOtherWindows());
    overlayOptionsForm->setValues(filterChoices, hideFromCapture, fadeUnderPointer);
}

void CChatDialog::applyOverlayOptions() {
    platform::Platform& desktop = platform::current();
    const FilterChoices chosen = overlayOptionsForm->filterChoices();
    if (chosen != filterChoices) {
        filterChoices = chosen;
        emit sigFilterChoicesChanged(filterChoices);
    }
    // An option this system cannot offer keeps its stored value for the systems that can.
    const bool capture = overlayOptionsForm->hideFromCapture();
    if (desktop.canHideFromCapture() && capture != hideFromCapture) {
        hideFromCapture = capture;
        captureHiding->setHidden(capture);
    }
    if (desktop.seesPointerOverOtherWindows()) {
        fadeUnderPointer = overlayOptionsForm->fadeUnderPointer();
        updatePointerFade();
    }
}
