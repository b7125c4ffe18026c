#include "core/capture/CaptureHistoryAdmission.h"

namespace tessarin {

std::shared_ptr<CapturePersistenceTicket> CaptureHistoryAdmission::admit(SharedImage image,
                                                                         std::optional<CaptureSessionInfo> session) {
    const HistorySettings settings = settings_();
    if (!settings.enabled || settings.paused) return CapturePersistenceTicket::resolved(main_, std::nullopt);
    return CapturePersistenceTicket::start(
        main_, [this, image = std::move(image), session = std::move(session), settings](
                   Completion<CapturePersistenceTicket::Result> done) mutable {
            store_.record(std::move(image), std::move(session), settings.maxCount, settings.maxAgeDays, std::move(done));
        });
}

void CaptureHistoryAdmission::mergeEdited(const std::shared_ptr<CapturePersistenceTicket>& ticket, SharedImage edited,
                                          Completion<CaptureHistoryStore::Result> done) {
    // The ticket may resolve after this admission is gone: `done` then hears "cancelled".
    ticket->value(lifetime_.guard([this, edited = std::move(edited),
                                   done = std::move(done)](CapturePersistenceTicket::Result item) mutable {
        if (!item) {
            done(std::nullopt);
            return;
        }
        const HistorySettings settings = settings_();
        store_.replaceImage(item->id, edited, settings.maxCount, settings.maxAgeDays,
                            lifetime_.guard([this, id = item->id, edited, session = item->captureID,
                                             done = std::move(done)](CaptureHistoryStore::Result merged) mutable {
                                if (merged || store_.item(id)) return done(std::move(merged));
                                // Retention or a delete removed the item while it was being
                                // edited: the edit is kept as a capture of its own.
                                admit(std::move(edited), std::nullopt)
                                    ->value([done = std::move(done)](CapturePersistenceTicket::Result added) mutable {
                                        done(std::move(added));
                                    });
                            }));
    }));
}

}  // namespace tessarin
