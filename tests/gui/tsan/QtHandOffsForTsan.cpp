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
//
// Both lean on which exported Qt Core function each hand-off goes through, and that moved:
// up to Qt 6.5 (Debian 12 has 6.4) Qt Gui calls QThreadPool::start(std::function) and queued
// calls go through the four-argument QMetaObject::invokeMethodImpl; from 6.6 the callable start
// is inline and reaches QThreadPool::start(QRunnable *), and from 6.7 queued calls carry their
// arguments through the seven-argument invokeMethodImpl (Debian 13 has 6.8). Both pairs are
// covered; a later Qt that moves them again shows up as TestTsanCanary's neighbours reporting
// Qt's own hand-offs as races, and the entry points need checking against its qthreadpool.h and
// qobjectdefs.h.
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

#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
void QThreadPool::start(QRunnable* runnable, int priority)
{
    if (runnable == nullptr) {
        return;
    }
    if (CalledFromQtGui(__builtin_return_address(0))) {
        const bool autoDelete = runnable->autoDelete();
        runnable->run();
        if (autoDelete) {
            delete runnable;
        }
        return;
    }
    using Start = void (*)(QThreadPool*, QRunnable*, int);
    static const auto qtStart = reinterpret_cast<Start>(dlsym(RTLD_NEXT, "_ZN11QThreadPool5startEP9QRunnablei"));
    qtStart(this, runnable, priority);
}
#else
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
#endif

#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type,
                                   qsizetype parameterCount, const void* const* params, const char* const* names,
                                   const QtPrivate::QMetaTypeInterface* const* metaTypes)
{
    using Impl = bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, qsizetype, const void* const*,
                          const char* const*, const QtPrivate::QMetaTypeInterface* const*);
    static const auto qtImpl = reinterpret_cast<Impl>(
        dlsym(RTLD_NEXT, "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14Connection"
                         "TypeExPKPKvPKPKcPKPKNS2_18QMetaTypeInterfaceE"));
    if (type != Qt::QueuedConnection || slot == nullptr) {
        return qtImpl(object, slot, type, parameterCount, params, names, metaTypes);
    }
    auto* handed = new HandedOverSlot(slot);
    __tsan_release(handed);
    __tsan_ignore_thread_begin();
    const bool posted = qtImpl(object, handed, type, parameterCount, params, names, metaTypes);
    __tsan_ignore_thread_end();
    return posted;
}
#else
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
#endif
