// Port discovery: finds the COM port of the modem's diagnostic interface.
