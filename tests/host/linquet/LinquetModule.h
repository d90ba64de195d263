// The Linquet module loaded from the test's own folder, and typed creation of
// its objects.
#pragma once

#include <gtest/gtest.h>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"

namespace optivane::test {

class LinquetModule : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(m_module.Entry(), nullptr) << "libLinquet.so not found beside the test"; }

    ComPtr<ITcpConnection> NewConnection() {
        ComPtr<ITcpConnection> connection;
        EXPECT_EQ(m_module.CreateInstance(CLSID_TcpConnection, IID_ITcpConnection, connection.ReceiveVoid()), S_OK);
        return connection;
    }
    // A connection that has been through Init.
    ComPtr<ITcpConnection> NewInitialisedConnection() {
        ComPtr<ITcpConnection> connection = NewConnection();
        if (connection) {
            EXPECT_EQ(connection->Init(), S_OK);
        }
        return connection;
    }
    ComPtr<INetAdapterList> NewAdapterList() {
        ComPtr<INetAdapterList> list;
        EXPECT_EQ(m_module.CreateInstance(CLSID_NetAdapterList, IID_INetAdapterList, list.ReceiveVoid()), S_OK);
        return list;
    }

    ModuleLoader m_module = ModuleLoader::ForSibling("Linquet");
};

}  // namespace optivane::test
