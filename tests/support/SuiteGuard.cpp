#include "SuiteGuard.h"

#include "Child.h"
#include "ModalDriver.h"

#include "vault/VaultError.h"

#include <exception>
#include <typeinfo>

namespace {

// QTest calls every test function through the static call function of the object's meta-object.
// The guard hands QTest a copy of the suite's meta-object whose call function catches; the call
// itself still reaches the suite.
class GuardedSuite : public QObject {
public:
    explicit GuardedSuite(QObject& suite)
        : m_suite(suite), m_meta(*suite.metaObject()), m_call(m_meta.d.static_metacall) {
        m_meta.d.static_metacall = &GuardedSuite::call;
    }
    const QMetaObject* metaObject() const override { return &m_meta; }

private:
    static void call(QObject* self, QMetaObject::Call kind, int index, void** arguments) {
        auto* guard = static_cast<GuardedSuite*>(self);
        // Whatever the test left waiting for a dialog belongs to it alone.
        struct EndOfTest {
            ~EndOfTest() { ++testFunctionsEnded(); }
        } endOfTest;
        try {
            guard->m_call(&guard->m_suite, kind, index, arguments);
        } catch (const RecordedFailure&) {
            // The test's failure is already on record.
        } catch (const VaultError& error) {
            fail(QStringLiteral("VaultError %1: %2").arg(error.number()).arg(error.description()));
        } catch (const std::exception& error) {
            fail(QStringLiteral("%1: %2").arg(QString::fromLatin1(typeid(error).name()),
                                              QString::fromLocal8Bit(error.what())));
        } catch (...) {
            fail(QStringLiteral("an exception of an unknown type"));
        }
    }
    static void fail(const QString& what) {
        QTest::qFail((QStringLiteral("Threw ") + what).toUtf8().constData(), nullptr, 0);
    }

    QObject& m_suite;
    QMetaObject m_meta;
    QMetaObject::Data::StaticMetacallFunction m_call;
};

} // namespace

int runGuarded(QObject& suite, int argc, char* argv[]) {
    GuardedSuite guarded(suite);
    return QTest::qExec(&guarded, argc, argv);
}
