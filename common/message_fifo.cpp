#include "common/message_fifo.h"

template class MessageFIFO<AnsiString>;

GlobalObject<MessageFIFO<AnsiString>> gMsgFIFO;
