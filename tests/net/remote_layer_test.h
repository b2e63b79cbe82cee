#pragma once

#include "fake_show.h"
#include "net/remote_layer.h"

#include <gtest/gtest.h>
#include <memory>

// The remote layer serving a FakeShow on loopback ports the system picks.
class RemoteLayerTest : public testing::Test {
protected:
    // The show as the program hands it over: the fake's operations and status, in English.
    RemoteShow remoteShow() {
        RemoteShow show;
        show.operators = &show_.operators;
        show.status = &show_.status;
        show.language = [] { return QStringLiteral("en"); };
        return show;
    }
    void open(RemoteShow show, const RemoteLimits& limits = {}, bool http = true,
              bool osc = false) {
        layer_ = std::make_unique<RemoteLayer>(std::move(show), limits);
        ASSERT_TRUE(layer_->open({0, 0}, http, osc).isEmpty());
        port_ = layer_->httpPort();
    }

    FakeShow show_;
    std::unique_ptr<RemoteLayer> layer_;
    quint16 port_ = 0;
};
