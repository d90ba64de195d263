// The module entry: the factory rules shared with every module, and the
// reference counting of the objects it hands out.
#include "LinquetModule.h"

namespace optivane::test {
namespace {

using LinquetFactory = LinquetModule;

constexpr CLSID kUnknownClass = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST_F(LinquetFactory, RejectsNullOutPointerAndUnknownClass) {
    EXPECT_EQ(m_module.Entry()(CLSID_TcpConnection, IID_ITcpConnection, nullptr), E_POINTER);
    EXPECT_EQ(m_module.Entry()(kUnknownClass, IID_IUnknown, nullptr), E_POINTER);

    void* untouched = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(m_module.Entry()(kUnknownClass, IID_IUnknown, &untouched), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234));
    // The other modules' classes are not Linquet's.
    EXPECT_EQ(m_module.Entry()(CLSID_SamplePool, IID_ISamplePool, &untouched), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(LinquetFactory, AnswersOnlyTheClassInterfaceAndIUnknown) {
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(m_module.Entry()(CLSID_TcpConnection, IID_INetAdapterList, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(m_module.Entry()(CLSID_NetAdapterList, IID_ITcpConnection, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // The identity is the object's non-delegating unknown.
    void* identity = nullptr;
    ASSERT_EQ(m_module.Entry()(CLSID_TcpConnection, IID_IUnknown, &identity), S_OK);
    ComPtr<ITcpConnection> connection = NewConnection();
    ASSERT_TRUE(connection);
    void* ownIdentity = nullptr;
    ASSERT_EQ(connection->QueryInterface(IID_IUnknown, &ownIdentity), S_OK);
    void* sameIdentity = nullptr;
    ASSERT_EQ(connection->QueryInterface(IID_IUnknown, &sameIdentity), S_OK);
    EXPECT_EQ(ownIdentity, sameIdentity);
    EXPECT_NE(ownIdentity, identity) << "two objects, two identities";
    ComPtr<ITcpConnection> again;
    ASSERT_EQ(connection->QueryInterface(IID_ITcpConnection, again.ReceiveVoid()), S_OK);
    EXPECT_EQ(again.Get(), connection.Get());
    for (void* held : {identity, ownIdentity, sameIdentity}) {
        static_cast<IUnknown*>(held)->Release();
    }
    EXPECT_EQ(connection->QueryInterface(IID_ITcpConnection, nullptr), E_POINTER);
}

TEST_F(LinquetFactory, HandsOutExactlyOneReference) {
    ComPtr<ITcpConnection> connection = NewConnection();
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->AddRef(), 2u);
    EXPECT_EQ(connection->Release(), 1u);

    ComPtr<INetAdapterList> list = NewAdapterList();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->AddRef(), 2u);
    EXPECT_EQ(list->Release(), 1u);
}

}  // namespace
}  // namespace optivane::test
