// Linked into the widget tests of a ThreadSanitizer build only: two places where Qt hands work
// between threads through its own futex-based QMutex and QSemaphore, which TSan cannot see
// because Qt is not built with it. Each would otherwise be reported as a race on every use,
// with no frame of Qt's that a suppression could name without hiding real races of ours.
// These definitions are found before Qt Core's by the dynamic linker.
//
// 1. Qt Gui splits large image conversions, scalings, fills and blends into pieces for Qt's
//    global thread pool (QThreadPool::start) and waits for them on a QSemaphore. Qt runs the
//    same pieces on the calling thread when it has no pool, giving the same pixels; here every
//    piece Qt Gui hands over runs at once on the calling thread, so Qt's pool threads never
//    touch a picture of ours.
// 2. A queued call (QMetaObject::invokeMethod with Qt::QueuedConnection) reaches the receiving
//    thread through Qt's posted-event queue. Qt guarantees that everything the caller did
//    before the call happens before the call runs; here that edge is told to TSan on the slot
//    object, and Qt's own bookkeeping of the queue on the posting thread is not watched (the
//    receiving thread's side of it stays uninstrumented Qt, as everywhere).
#include <QObject>
#include <QRunnable>
#include <QThreadPool>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <sanitizer/tsan_interface.h>

extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

namespace {

bool CalledFromQtGui(const void* returnAddress)
{
    Dl_info info{};
    return dladdr(returnAddress, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "libQt6Gui.so") != nullptr;
}

// Wraps a queued call's slot object: whatever runs or destroys it first acquires what the
// posting thread released when it posted the call.
class HandedOverSlot : public QtPrivate::QSlotObjectBase
{
public:
    explicit HandedOverSlot(QtPrivate::QSlotObjectBase* inner)
        : QSlotObjectBase(&Impl)
        , m_inner(inner)
    {
    }

private:
    static void Impl(int which, QSlotObjectBase* self, QObject* receiver, void** args, bool* ret)
    {
        auto* handed = static_cast<HandedOverSlot*>(self);
        __tsan_acquire(handed);
        switch (which) {
        case Destroy:
            handed->m_inner->destroyIfLastRef();
            delete handed;
            break;
        case Call:
            handed->m_inner->call(receiver, args);
            break;
        case Compare:
            *ret = handed->m_inner->compare(args);
            break;
        default:
            break;
        }
    }

    QtPrivate::QSlotObjectBase* m_inner;
};

} // namespace

void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    if (!functionToRun) {
        return;
    }
    if (CalledFromQtGui(__builtin_return_address(0))) {
        functionToRun();
        return;
    }
    // Anyone else gets the pool, as in Qt's own definition.
    start(QRunnable::create(std::move(functionToRun)), priority);
}

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type,
                                   void* ret)
{
    using Impl = bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*);
    static const auto qtImpl = reinterpret_cast<Impl>(
        dlsym(RTLD_NEXT,
              "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv"));
    if (type != Qt::QueuedConnection || slot == nullptr) {
        return qtImpl(object, slot, type, ret);
    }
    auto* handed = new HandedOverSlot(slot);
    __tsan_release(handed);
    __tsan_ignore_thread_begin();
    const bool posted = qtImpl(object, handed, type, ret);
    __tsan_ignore_thread_end();
    return posted;
}
