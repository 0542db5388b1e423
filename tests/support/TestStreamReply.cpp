#include "TestStreamReply.h"

TestStreamReply TestStreamReply::dropped(Ending ending)
{
    TestStreamReply reply;
    reply.ending = ending;
    reply.answers = false;
    return reply;
}
