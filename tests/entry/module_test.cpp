#include "entry/module_resources.h"
#include "form/touch_hygiene.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <touchsearch/application.h>
#include <touchsearch/windows1252.h>

namespace {

void OtherHook(host::Message&, bool&) {}

quint32 U32At(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

} // namespace

TEST(ModuleResources, UnloadRemovesOnlyTheFormsHook)
{
    host::Application& application = host::Application::Instance();
    const host::Application::MessageHook previous = application.GetOnMessage();
    application.SetOnMessage(&pesquisa::AppEventsMessage);
    EXPECT_TRUE(pesquisa::ModuleResources::RemoveOwnMessageHook());
    EXPECT_EQ(application.GetOnMessage(), nullptr);

    application.SetOnMessage(&OtherHook);
    EXPECT_FALSE(pesquisa::ModuleResources::RemoveOwnMessageHook());
    EXPECT_EQ(application.GetOnMessage(), &OtherHook);
    application.SetOnMessage(previous);
}

TEST(ModuleResources, LocaleBundleBesideTheModule)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString module = folder.filePath(QStringLiteral("libpesquisa.so"));
    EXPECT_EQ(pesquisa::ModuleResources::FindLocaleBundle(module, QStringLiteral("pt_BR")),
              QString());

    QFile language(module + QStringLiteral(".pt.rcc"));
    ASSERT_TRUE(language.open(QIODevice::WriteOnly));
    language.close();
    EXPECT_EQ(pesquisa::ModuleResources::FindLocaleBundle(module, QStringLiteral("pt_BR")),
              language.fileName());

    QFile exact(module + QStringLiteral(".pt_BR.rcc"));
    ASSERT_TRUE(exact.open(QIODevice::WriteOnly));
    exact.close();
    EXPECT_EQ(pesquisa::ModuleResources::FindLocaleBundle(module, QStringLiteral("pt_BR")),
              exact.fileName());
    EXPECT_EQ(pesquisa::ModuleResources::FindLocaleBundle(module, QStringLiteral("en_US")),
              QString());
    EXPECT_EQ(pesquisa::ModuleResources::FindLocaleBundle(QString(), QStringLiteral("pt")),
              QString());
}

TEST(ModuleResources, ShowAviIsTheDescribedAnimation)
{
    QFile avi(QStringLiteral(":/SHOWAVI"));
    ASSERT_TRUE(avi.open(QIODevice::ReadOnly));
    const QByteArray data = avi.readAll();
    ASSERT_GT(data.size(), 200);
    EXPECT_EQ(data.left(4), "RIFF");
    EXPECT_EQ(U32At(data, 4) + 8, static_cast<quint32>(data.size()));
    EXPECT_EQ(data.mid(8, 4), "AVI ");
    const qsizetype avih = data.indexOf("avih");
    ASSERT_GT(avih, 0);
    EXPECT_EQ(U32At(data, avih + 8), 83333u);    // microseconds a frame
    EXPECT_EQ(U32At(data, avih + 8 + 16), 31u);  // frames
    EXPECT_EQ(U32At(data, avih + 8 + 32), 145u); // width
    EXPECT_EQ(U32At(data, avih + 8 + 36), 5u);   // height
    const qsizetype strf = data.indexOf("strf");
    ASSERT_GT(strf, 0);
    EXPECT_EQ(qFromLittleEndian<quint16>(data.constData() + strf + 8 + 14), 16); // bits a pixel
    EXPECT_EQ(data.count("00db"), 62); // 31 frames and their 31 index entries
}

TEST(Windows1252, TextsCrossTheBoundary)
{
    EXPECT_EQ(pesquisa::FromWindows1252(nullptr), QString());
    EXPECT_EQ(pesquisa::FromWindows1252("\x80\xe7\xc7\x9f\xa0"), QStringLiteral("€çÇŸ\u00a0"));
    EXPECT_EQ(pesquisa::FromWindows1252("\x81\x8d"), QStringLiteral("\u0081\u008d"));
    QByteArray all;
    for (int byte = 1; byte < 256; ++byte) {
        all.append(static_cast<char>(byte));
    }
    EXPECT_EQ(pesquisa::ToWindows1252(pesquisa::FromWindows1252(all.constData())), all);
    EXPECT_EQ(pesquisa::ToWindows1252(QStringLiteral("ç日") + QChar(0) +
                                      QString::fromUcs4(U"\U0001F600")),
              QByteArray("\xe7???"));
}
