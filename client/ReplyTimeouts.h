#pragma once

class QNetworkReply;

// How long a request may go without receiving anything, and how long it may take in all,
// before it is given up as failed. A dead peer or a half-open connection would otherwise hold
// it for as long as TCP takes to notice, which can be many minutes.
struct ReplyTimeouts {
    int idleMs = 10000;
    int totalMs = 30000;
};

// Aborts `reply`, which then fails with OperationCanceledError, once it has gone
// `timeouts.idleMs` without progress or `timeouts.totalMs` since now.
void watchReply(QNetworkReply* reply, ReplyTimeouts timeouts);
