// Turns iRetorno and StatusECF into the operator's messages.
#pragma once

// Names the return code, watches for a refused command, refreshes the status of the
// last command, decodes it into the three answers and shows them.
void AnalisaRetorno();
// Shows the three answers in one plain message.
void MostraRespostas();
